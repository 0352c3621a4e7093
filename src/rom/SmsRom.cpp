// The Master System and Game Gear viewer ROM: the program from viewer/sms/,
// a parameter block, the colour RAM image, the patterns (widened to four
// planes and packed) and the map, with the header at $7FF0.
#include "rom/ConsoleRoms.hpp"

#include "lzss/Lzss.hpp"

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string_view>

extern const unsigned char morvik_sms_viewer[];
extern const std::size_t morvik_sms_viewer_size;

namespace {

constexpr int32_t kMaxTiles = 448;           // VRAM below the name table at $3800
constexpr size_t kMaxMapBytes = 0x4000;      // the map's bank, $8000-$BFFF
constexpr size_t kHeader = 0x7FF0;           // "TMR SEGA" and the checksum
constexpr size_t kSmallRom = 0x8000;         // everything below the header
constexpr size_t kLargeRom = 0x10000;        // the map in bank 2, bank 3 empty
constexpr size_t kMapBank = 0x8000;          // where a map that does not fit below goes
constexpr int32_t kPlanes = 4;               // the tile mode reads four planes
constexpr int32_t kDictionarySize = 2048;    // as viewer/sms/viewer.asm assembles the decoder
constexpr int32_t kThreshold = 2;            //
constexpr size_t kParameterBytes = 19;       // the block at viewer_end
constexpr int32_t kNameTableColumns = 32;    // entries a name-table row holds
constexpr uint32_t kNameTableWrite = 0x7800; // $3800 with the VRAM write code

struct Screen {
    std::string_view name;
    size_t colourBytes; // bytes a colour word takes in .pal and colour RAM
    int32_t left;       // name-table cell shown at the screen's top-left
    int32_t top;        //
    int32_t columns;    // tiles the screen shows
    int32_t rows;       //
    uint8_t regionCode; // high nibble of $7FFF
};

constexpr Screen kMasterSystem = {"Master System", 1, 0, 0, 32, 24, 0x4};
constexpr Screen kGameGear = {"Game Gear", 2, 6, 3, 20, 18, 0x7}; // the 160x144 window at 48,24

const Screen &screenFor(bool gameGear) {
    return gameGear ? kGameGear : kMasterSystem;
}

uint8_t byteAt(const std::vector<uint8_t> &bytes, size_t at) {
    return at < bytes.size() ? bytes[at] : 0;
}

// Each tile row's stored planes followed by zero planes up to four.
std::vector<uint8_t> widenPatterns(const RomPicture &picture) {
    const auto tiles = static_cast<size_t>(std::max(picture.tileCount, 0));
    const auto stored = static_cast<size_t>(std::clamp(picture.planeCount, 0, kPlanes));
    std::vector<uint8_t> wide(tiles * 8 * kPlanes, 0);
    for (size_t row = 0; row < tiles * 8; ++row)
        for (size_t plane = 0; plane < stored; ++plane)
            wide[row * kPlanes + plane] = byteAt(picture.patterns, row * stored + plane);
    return wide;
}

// The lowest colour index any pixel uses: the .pal of a -base picture starts
// at that entry, as its colours are numbered from the pixels.
size_t lowestIndex(const std::vector<uint8_t> &wide) {
    size_t lowest = wide.empty() ? 0 : 15;
    for (size_t row = 0; row + kPlanes <= wide.size(); row += kPlanes)
        for (int x = 0; x < 8; ++x) {
            size_t index = 0;
            for (int plane = 0; plane < kPlanes; ++plane)
                index |= static_cast<size_t>((wide[row + plane] >> (7 - x)) & 1) << plane;
            lowest = std::min(lowest, index);
        }
    return lowest;
}

// Colour RAM from entry 0: sub-palette k at entry 16k (one palette at its
// first used entry), unused entries black.
std::vector<uint8_t> colourRam(const RomPicture &picture, const Screen &screen,
                               const std::vector<uint8_t> &wide) {
    std::vector<uint8_t> cram(32 * screen.colourBytes, 0);
    const size_t palettes = static_cast<size_t>(std::clamp(picture.paletteCount, 1, 2));
    const size_t stride = picture.palette.size() / screen.colourBytes / palettes; // words each
    const size_t first = palettes == 1 ? lowestIndex(wide) : 0;
    for (size_t k = 0; k < palettes; ++k)
        for (size_t j = 0; j < stride && first + j < 16; ++j)
            for (size_t b = 0; b < screen.colourBytes; ++b)
                cram[(16 * k + first + j) * screen.colourBytes + b] =
                    byteAt(picture.palette, (k * stride + j) * screen.colourBytes + b);
    return cram;
}

void putWord(std::vector<uint8_t> &rom, size_t at, size_t value) {
    rom.at(at) = static_cast<uint8_t>(value & 0xFF);
    rom.at(at + 1) = static_cast<uint8_t>((value >> 8) & 0xFF);
}

void putBytes(std::vector<uint8_t> &rom, size_t at, const std::vector<uint8_t> &bytes) {
    if (at + bytes.size() > rom.size())
        throw std::length_error("viewer ROM data out of place");
    std::copy(bytes.begin(), bytes.end(), rom.begin() + static_cast<ptrdiff_t>(at));
}

// Where the viewer finds its data and which part of the map it copies.
void putParameters(std::vector<uint8_t> &rom, const RomPicture &picture, const Screen &screen,
                   size_t cram, size_t cramBytes, size_t patterns, size_t patternBytes,
                   size_t names) {
    const size_t at = morvik_sms_viewer_size;
    const int32_t rows = std::min(picture.rows, screen.rows);
    const int32_t columns = std::min(picture.columns, screen.columns);
    putWord(rom, at, cram);
    rom.at(at + 2) = static_cast<uint8_t>(cramBytes);
    putWord(rom, at + 3, patterns);
    putWord(rom, at + 5, patternBytes);
    putWord(rom, at + 7, names);
    putWord(rom, at + 9, static_cast<size_t>(picture.columns) * 2);
    rom.at(at + 11) = static_cast<uint8_t>(std::max(rows, 0));
    rom.at(at + 12) = static_cast<uint8_t>(std::max(columns, 0));
    putWord(rom, at + 13,
            kNameTableWrite +
                static_cast<uint32_t>(screen.top * kNameTableColumns + screen.left) * 2);
    putWord(rom, at + 15, static_cast<size_t>(std::max(picture.columns - columns, 0)));
    putWord(rom, at + 17, static_cast<size_t>(std::max(picture.rows - rows, 0)));
}

// "TMR SEGA", two reserved bytes, the checksum, product code and version 0,
// region and size. The checksum adds every byte outside the header.
void putHeader(std::vector<uint8_t> &rom, const Screen &screen) {
    const std::string_view mark = "TMR SEGA";
    std::copy(mark.begin(), mark.end(), rom.begin() + static_cast<ptrdiff_t>(kHeader));
    const uint8_t sizeCode = rom.size() == kSmallRom ? 0xC : 0xE;
    rom.at(kHeader + 15) = static_cast<uint8_t>(screen.regionCode << 4 | sizeCode);
    uint32_t sum = 0;
    for (size_t i = 0; i < rom.size(); ++i)
        if (i < kHeader || i >= kHeader + 16)
            sum += rom[i];
    putWord(rom, kHeader + 10, sum & 0xFFFF);
}

} // namespace

std::string smsRomProblem(const RomPicture &picture, bool gameGear) {
    const Screen &screen = screenFor(gameGear);
    const std::string viewer = "the " + std::string(screen.name) + " viewer";
    if (picture.tileCount > kMaxTiles)
        return "Error: The picture needs " + std::to_string(picture.tileCount) + " tiles; " +
               viewer + " holds at most " + std::to_string(kMaxTiles) + ".\n";
    const size_t entries = picture.names.size() / 2;
    if (picture.names.size() > kMaxMapBytes)
        return "Error: The map has " + std::to_string(entries) + " entries (" +
               std::to_string(picture.columns) + " x " + std::to_string(picture.rows) +
               " tiles); " + viewer + " holds at most " + std::to_string(kMaxMapBytes / 2) + ".\n";
    return "";
}

std::vector<uint8_t> buildSmsRom(const RomPicture &picture, bool gameGear) {
    const Screen &screen = screenFor(gameGear);
    const std::vector<uint8_t> wide = widenPatterns(picture);
    const std::vector<uint8_t> cram = colourRam(picture, screen, wide);
    const std::vector<uint8_t> packed =
        lzssEncodeBuffer(lzssMakeSettings(kThreshold, kDictionarySize), wide.data(), wide.size());
    const size_t cramAt = morvik_sms_viewer_size + kParameterBytes;
    const size_t patternsAt = cramAt + cram.size();
    size_t namesAt = patternsAt + packed.size();
    if (namesAt > kHeader) // cannot happen within the tile limit
        throw std::length_error("viewer ROM patterns run into the header");
    const bool small = namesAt + picture.names.size() <= kHeader;
    if (!small)
        namesAt = kMapBank;
    std::vector<uint8_t> rom(small ? kSmallRom : kLargeRom, 0);
    std::copy(morvik_sms_viewer, morvik_sms_viewer + morvik_sms_viewer_size, rom.begin());
    putParameters(rom, picture, screen, cramAt, cram.size(), patternsAt, packed.size(), namesAt);
    putBytes(rom, cramAt, cram);
    putBytes(rom, patternsAt, packed);
    putBytes(rom, namesAt, picture.names);
    putHeader(rom, screen);
    return rom;
}
