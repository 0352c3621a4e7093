// The PC Engine viewer ROM: a HuCard whose bank 0 is the viewer program
// (viewer/pce) and whose later banks hold the palette, the name table and the
// patterns widened to four planes, in that order. HuCards have no header or
// checksum; the viewer finds its data through a parameter block in bank 0.
#include "rom/ConsoleRoms.hpp"

#include "common/Bytes.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>

extern const unsigned char pceViewer[];
extern const std::size_t pceViewer_size;

namespace {

constexpr size_t kBankBytes = 8192;
constexpr size_t kMaxRomBytes = 1024 * 1024; // 128 banks, the most a HuCard maps without a mapper
constexpr size_t kParamsAt = 0x1FC0;         // the PARAMS segment, $FFC0 in bank 0
constexpr int32_t kVramWords = 32768;
constexpr int32_t kBlankTile = 2047;   // last VRAM tile slot, cleared by the viewer
constexpr int32_t kTileBytes = 32;     // four planes of eight rows
constexpr int32_t kScreenColumns = 32; // 256 pixels
constexpr int32_t kScreenLines = 224;
constexpr int32_t kMaxStride = 65535;     // the viewer keeps a map row's length in 16 bits
constexpr int32_t kMaxPaletteWords = 256; // the 16 background palettes

// A BAT size the VDC offers, with its MWR setting.
struct BatShape {
    int32_t columns = 32;
    int32_t rows = 32;
    uint8_t memoryWidth = 0;
};

// Largest first: the viewer takes the largest one the map fills whose
// remaining video memory holds the tiles.
constexpr std::array<BatShape, 6> kBatShapes{{{128, 64, 0x60},
                                              {64, 64, 0x50},
                                              {128, 32, 0x20},
                                              {64, 32, 0x10},
                                              {32, 64, 0x40},
                                              {32, 32, 0x00}}};

int32_t batWords(const BatShape &bat) {
    return bat.columns * bat.rows;
}

// Patterns sit right after the BAT and stop before the blank tile.
int32_t tileRoom(const BatShape &bat) {
    return kBlankTile - batWords(bat) / 16;
}

int32_t neededColumns(int32_t columns) {
    return columns <= 32 ? 32 : columns <= 64 ? 64 : 128;
}

int32_t neededRows(int32_t rows) {
    return rows <= 32 ? 32 : 64;
}

std::optional<BatShape> chooseBat(const RomPicture &picture) {
    for (const BatShape &bat : kBatShapes)
        if (bat.columns <= neededColumns(picture.columns) && bat.rows <= neededRows(picture.rows) &&
            picture.tileCount <= tileRoom(bat))
            return bat;
    return std::nullopt;
}

size_t mapBytes(const RomPicture &picture) {
    return size_t(picture.columns) * size_t(picture.rows) * 2;
}

size_t dataBytes(const RomPicture &picture) {
    return kBankBytes + picture.palette.size() + mapBytes(picture) +
           size_t(picture.tileCount) * kTileBytes;
}

// Row r of every stored tile, its planes spread to the four the VDC reads:
// rows of planes 0 and 1, then rows of planes 2 and 3; missing planes are 0.
std::vector<uint8_t> widenPatterns(const RomPicture &picture) {
    const auto planes = static_cast<size_t>(picture.planeCount);
    const size_t stored = planes * 8;
    const size_t paired = planes - planes % 2;
    std::vector<uint8_t> out(size_t(picture.tileCount) * kTileBytes, 0);
    for (size_t t = 0; t < size_t(picture.tileCount); ++t)
        for (size_t k = 0; k < planes; ++k)
            for (size_t r = 0; r < 8; ++r) {
                const size_t from = k < paired ? t * stored + (k - k % 2) * 8 + r * 2 + k % 2
                                               : t * stored + k * 8 + r;
                const size_t to = t * kTileBytes + (k / 2) * 16 + r * 2 + k % 2;
                if (from < picture.patterns.size())
                    out[to] = picture.patterns[from];
            }
    return out;
}

void putLe24(std::vector<uint8_t> &out, size_t value) {
    putLe16(out, static_cast<uint32_t>(value & 0xFFFF));
    out.push_back(static_cast<uint8_t>(value >> 16));
}

// The viewer's PARAMS block; see viewer/pce/viewer.s for the fields.
std::vector<uint8_t> viewerParams(const RomPicture &picture, const BatShape &bat) {
    const size_t paletteAt = kBankBytes;
    const size_t mapAt = paletteAt + picture.palette.size();
    const size_t patternsAt = mapAt + mapBytes(picture);
    const int32_t copyColumns = std::min(picture.columns, bat.columns);
    const int32_t copyRows = std::min(picture.rows, bat.rows);
    const int32_t words = batWords(bat);
    std::vector<uint8_t> out;
    putLe24(out, paletteAt);
    putLe16(out, static_cast<uint32_t>(picture.palette.size() / 2));
    putLe24(out, patternsAt);
    putLe16(out, static_cast<uint32_t>(picture.tileCount * kTileBytes / 2));
    putLe16(out, static_cast<uint32_t>(words));
    putLe24(out, mapAt);
    putLe16(out, static_cast<uint32_t>(picture.columns * 2));
    out.push_back(static_cast<uint8_t>(copyColumns));
    out.push_back(static_cast<uint8_t>(copyRows));
    out.push_back(static_cast<uint8_t>(bat.columns));
    putLe16(out, static_cast<uint32_t>(words));
    putLe16(out, static_cast<uint32_t>(words / 16));
    putLe16(out, kBlankTile);
    putLe16(out, kBlankTile * 16);
    out.push_back(bat.memoryWidth);
    putLe16(out, static_cast<uint32_t>(std::max(0, copyColumns - kScreenColumns) * 8));
    putLe16(out, static_cast<uint32_t>(std::max(0, copyRows * 8 - kScreenLines)));
    return out;
}

std::string tileProblem(const RomPicture &picture) {
    const BatShape smallest = kBatShapes.back();
    return "Error: The picture needs " + std::to_string(picture.tileCount) +
           " tiles; the PC Engine viewer holds at most " + std::to_string(tileRoom(smallest)) +
           " (the video memory left after a 32 x 32 name table and a blank tile).\n";
}

} // namespace

std::string pceRomProblem(const RomPicture &picture) {
    if (!chooseBat(picture)) // first: past 4096 tiles there is no name table either
        return tileProblem(picture);
    if (picture.columns <= 0 || picture.rows <= 0 || picture.names.size() < mapBytes(picture))
        return "Error: The PC Engine viewer needs a name table; this picture has none.\n";
    if (picture.tileCount < 1 || picture.planeCount < 1 || picture.planeCount > 4 ||
        picture.patterns.size() < size_t(picture.tileCount) * size_t(picture.planeCount) * 8)
        return "Error: The PC Engine viewer needs tiles of 1 to 4 planes.\n";
    if (picture.palette.size() < 2)
        return "Error: The PC Engine viewer needs a palette; this picture has none.\n";
    if (picture.palette.size() > size_t(kMaxPaletteWords) * 2)
        return "Error: The palette has " + std::to_string(picture.palette.size() / 2) +
               " colours; the PC Engine viewer loads at most 256.\n";
    if (picture.columns * 2 > kMaxStride)
        return "Error: The map is " + std::to_string(picture.columns) +
               " tiles wide; the PC Engine viewer takes at most " + std::to_string(kMaxStride / 2) +
               ".\n";
    if (dataBytes(picture) > kMaxRomBytes)
        return "Error: The PC Engine viewer ROM would need " + std::to_string(dataBytes(picture)) +
               " bytes (the " + std::to_string(picture.columns) + " x " +
               std::to_string(picture.rows) + " map takes " + std::to_string(mapBytes(picture)) +
               "); it holds at most " + std::to_string(kMaxRomBytes) + ".\n";
    return {};
}

std::vector<uint8_t> buildPceRom(const RomPicture &picture) {
    const std::optional<BatShape> bat = chooseBat(picture);
    if (!bat || pceViewer_size != kBankBytes)
        return {};
    std::vector<uint8_t> rom(pceViewer, pceViewer + pceViewer_size);
    const std::vector<uint8_t> params = viewerParams(picture, *bat);
    std::copy(params.begin(), params.end(), rom.begin() + kParamsAt);
    rom.insert(rom.end(), picture.palette.begin(), picture.palette.end());
    rom.insert(rom.end(), picture.names.begin(),
               picture.names.begin() + static_cast<std::ptrdiff_t>(mapBytes(picture)));
    const std::vector<uint8_t> patterns = widenPatterns(picture);
    rom.insert(rom.end(), patterns.begin(), patterns.end());
    rom.resize(powerOfTwoRomSize(rom.size(), kBankBytes), 0xFF);
    return rom;
}
