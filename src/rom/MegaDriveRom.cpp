// The Mega Drive viewer ROM: the program from viewer/smd (vectors, header and
// code from address 0), then a block of figures and offsets, the colour words,
// the name entries and the patterns packed with the decoder's LZSS settings.
#include "rom/ConsoleRoms.hpp"

#include "common/Bytes.hpp"
#include "lzss/Lzss.hpp"

#include <algorithm>
#include <cstddef>

extern const unsigned char megaDriveViewer[];
extern const std::size_t megaDriveViewer_size;

namespace {

// What the viewer is assembled with (viewer/smd/viewer.s).
constexpr int32_t kLzssDictionary = 1024;
constexpr int32_t kLzssThreshold = 2;

constexpr int32_t kTileBytes = 32;                // 8 x 8 pixels, 4 bits each
constexpr int32_t kPatternTiles = 1792;           // VRAM $0000-$DFFF, below the plane
constexpr int32_t kMostTiles = kPatternTiles - 1; // one slot stays blank
constexpr int32_t kPlaneColumns = 64;
constexpr int32_t kPlaneRows = 32;
constexpr size_t kMostColours = 64;    // four CRAM lines of 16
constexpr size_t kRomLimit = 0x400000; // the cartridge area without bank switching
constexpr size_t kRomGranule = 0x20000;
constexpr size_t kBlockBytes = 36; // nine longs, as viewer.s reads them

constexpr size_t kChecksumAt = 0x18E;
constexpr size_t kRomEndAt = 0x1A4;
constexpr size_t kChecksumFrom = 0x200;

void putBe32(std::vector<uint8_t> &out, uint32_t value) {
    putBe16(out, value >> 16);
    putBe16(out, value & 0xFFFF);
}

void storeBe(std::vector<uint8_t> &rom, size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes && at + static_cast<size_t>(i) < rom.size(); ++i)
        rom[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
}

// The tiles as VRAM takes them, packed; short pattern data is padded with zeros.
std::vector<uint8_t> packedPatterns(const RomPicture &picture) {
    std::vector<uint8_t> raw = picture.patterns;
    raw.resize(std::max(raw.size(), static_cast<size_t>(picture.tileCount) * kTileBytes), 0);
    return lzssEncodeBuffer(lzssMakeSettings(kLzssThreshold, kLzssDictionary), raw.data(),
                            raw.size());
}

void padToEven(std::vector<uint8_t> &out) {
    if (out.size() % 2 != 0)
        out.push_back(0);
}

// The figures block, the colours, the names and the stream, as viewer.s reads them.
std::vector<uint8_t> pictureData(const RomPicture &picture, const std::vector<uint8_t> &stream) {
    const size_t colourBytes = std::min(picture.palette.size(), kMostColours * 2) & ~size_t{1};
    const size_t paletteAt = kBlockBytes;
    const size_t namesAt = paletteAt + colourBytes;
    const size_t streamAt = namesAt + picture.names.size() + picture.names.size() % 2;
    std::vector<uint8_t> data;
    putBe32(data, static_cast<uint32_t>(std::min(picture.columns, kPlaneColumns)));
    putBe32(data, static_cast<uint32_t>(std::min(picture.rows, kPlaneRows)));
    putBe32(data, static_cast<uint32_t>(picture.columns) * 2);
    putBe32(data, static_cast<uint32_t>(picture.tileCount)); // the blank tile after the picture's
    putBe32(data, static_cast<uint32_t>(colourBytes / 2));
    putBe32(data, static_cast<uint32_t>(stream.size()));
    putBe32(data, static_cast<uint32_t>(paletteAt));
    putBe32(data, static_cast<uint32_t>(namesAt));
    putBe32(data, static_cast<uint32_t>(streamAt));
    data.insert(data.end(), picture.palette.begin(),
                picture.palette.begin() + static_cast<ptrdiff_t>(colourBytes));
    data.insert(data.end(), picture.names.begin(), picture.names.end());
    padToEven(data);
    data.insert(data.end(), stream.begin(), stream.end());
    return data;
}

void fillHeader(std::vector<uint8_t> &rom) {
    storeBe(rom, kRomEndAt, static_cast<uint32_t>(rom.size() - 1), 4);
    uint32_t sum = 0;
    for (size_t at = kChecksumFrom; at + 1 < rom.size(); at += 2)
        sum += uint32_t{rom[at]} << 8 | rom[at + 1];
    storeBe(rom, kChecksumAt, sum & 0xFFFF, 2);
}

} // namespace

std::string megaDriveRomProblem(const RomPicture &picture) {
    if (picture.tileCount > kMostTiles)
        return "Error: The picture needs " + std::to_string(picture.tileCount) +
               " tiles; the Mega Drive viewer holds at most " + std::to_string(kMostTiles) + ".\n";
    if (picture.palette.size() / 2 > kMostColours)
        return "Error: The palette has " + std::to_string(picture.palette.size() / 2) +
               " colours; the Mega Drive viewer loads at most " + std::to_string(kMostColours) +
               ".\n";
    const size_t others = megaDriveViewer_size + kBlockBytes + picture.palette.size() + 2 +
                          packedPatterns(picture).size();
    if (others + picture.names.size() > kRomLimit)
        return "Error: The picture's map takes " + std::to_string(picture.names.size()) +
               " bytes; the Mega Drive viewer's 4 MB ROM has room for " +
               std::to_string(kRomLimit - std::min(others, kRomLimit)) + ".\n";
    return "";
}

std::vector<uint8_t> buildMegaDriveRom(const RomPicture &picture) {
    std::vector<uint8_t> rom(megaDriveViewer, megaDriveViewer + megaDriveViewer_size);
    const std::vector<uint8_t> data = pictureData(picture, packedPatterns(picture));
    rom.insert(rom.end(), data.begin(), data.end());
    rom.resize((rom.size() + kRomGranule - 1) / kRomGranule * kRomGranule, 0xFF);
    fillHeader(rom);
    return rom;
}
