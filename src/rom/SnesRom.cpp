// The Super NES viewer ROM (LoROM). Bank 0 is the assembled viewer with its
// header; from $01:8000 on come the scroll limits, the viewer's two lists
// (PPU register writes, then DMA jobs), a few fill bytes, the palette, the
// patterns widened to the planes the BG mode reads, and the name table as in
// .nam.
//
// Video memory (words): tiles from $0000; the name table at $7000 (64x64
// entries, 2 and 4 planes) or $7C00 (32x32 entries, 8 planes). The viewer
// loads the map's top-left corner of that size and scrolls over it with the
// joypad.
#include "rom/ConsoleRoms.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>

extern const unsigned char morvik_snes_viewer[];
extern const std::size_t morvik_snes_viewer_size;

namespace {

constexpr size_t kBankSize = 0x8000;     // a LoROM bank shows 32 KB at $8000
constexpr size_t kMaxRomSize = 0x200000; // banks $00-$3F
constexpr size_t kMinRomSize = 0x10000;  // the viewer's bank and one of data
constexpr size_t kListSpace = 0x1000;    // limits, registers and at most 270 jobs of 10
constexpr int32_t kScreenTiles = 32;     // a BG screen is 32x32 entries
constexpr int32_t kScreenWidth = 256;
constexpr int32_t kScreenHeight = 224;
constexpr int32_t kNameTileLimit = 1024; // ten bits of tile number
constexpr size_t kHeaderOffset = 0x7FC0; // LoROM header in bank 0
constexpr size_t kSizeByte = kHeaderOffset + 0x17;
constexpr size_t kComplementOffset = kHeaderOffset + 0x1C;
constexpr size_t kChecksumOffset = kHeaderOffset + 0x1E;

// B-bus registers and DMA modes the jobs use.
constexpr uint8_t kVramLow = 0x18;  // VMDATAL; VMDATAH follows
constexpr uint8_t kVramHigh = 0x19; // VMDATAH
constexpr uint8_t kCgramData = 0x22;
constexpr uint8_t kOneRegister = 0x00;
constexpr uint8_t kTwoRegisters = 0x01; // low, high
constexpr uint8_t kFixedSource = 0x08;
constexpr uint8_t kStepAfterHigh = 0x80; // VMAIN: word address +1 after VMDATAH
constexpr uint8_t kStepAfterLow = 0x00;  // VMAIN: word address +1 after VMDATAL

struct SnesMode {
    uint8_t bgMode;     // BGMODE: 0 gives BG1 2 planes, 1 gives 4, 3 gives 8
    size_t tileBytes;   // 8 rows of the planes the mode reads
    int32_t tileLimit;  // tiles that fit below the name table and can be named
    uint16_t mapWord;   // name table address in VRAM words
    int32_t mapTiles;   // entries across and down the name table: 32 or 64
    size_t paletteStep; // CGRAM entries between BG1's sub-palettes
};

// Eight-plane tiles keep the small name table, so 992 of them fit below it.
SnesMode snesMode(int32_t tilePlanes) {
    const size_t tileBytes = static_cast<size_t>(std::max(tilePlanes, 1)) * 8;
    const bool wide = tilePlanes != 8;
    const uint16_t mapWord = wide ? 0x7000 : 0x7C00;
    const auto room = static_cast<int32_t>(size_t{mapWord} * 2 / tileBytes);
    const uint8_t mode = tilePlanes == 2 ? 0 : tilePlanes == 8 ? 3 : 1;
    return {mode,    tileBytes,      std::min(room, kNameTileLimit),
            mapWord, wide ? 64 : 32, size_t{1} << std::min(tilePlanes, 8)};
}

// Where plane k of row r of tile t lies when a tile stores `planes` planes in
// pairs of rows (planes 0+1, then 2+3, ...), a last odd plane a byte a row.
size_t pairsOffset(size_t t, size_t r, size_t k, size_t planes) {
    const size_t paired = planes - planes % 2;
    if (k < paired)
        return (planes * t + k - k % 2) * 8 + r * 2 + k % 2;
    return (planes * t + k) * 8 + r;
}

// The patterns with every tile widened to the planes the BG mode reads; the
// planes not stored are zero.
std::vector<uint8_t> widenPatterns(const RomPicture &picture, const SnesMode &mode) {
    const auto tiles = static_cast<size_t>(std::max(picture.tileCount, 0));
    const auto stored = static_cast<size_t>(std::max(picture.planeCount, 0));
    const size_t full = mode.tileBytes / 8;
    std::vector<uint8_t> wide(tiles * mode.tileBytes, 0);
    for (size_t t = 0; t < tiles; ++t)
        for (size_t k = 0; k < std::min(stored, full); ++k)
            for (size_t r = 0; r < 8; ++r) {
                const size_t from = pairsOffset(t, r, k, stored);
                if (from < picture.patterns.size())
                    wide[pairsOffset(t, r, k, full)] = picture.patterns[from];
            }
    return wide;
}

// The name table entry cells outside the picture get: a tile that is blank
// once VRAM is cleared, or else an all-zero stored one, or else tile 0.
uint16_t blankEntry(const std::vector<uint8_t> &patterns, const RomPicture &picture,
                    const SnesMode &mode) {
    if (picture.tileCount < mode.tileLimit)
        return static_cast<uint16_t>(picture.tileCount);
    for (size_t t = 0; t + 1 <= patterns.size() / mode.tileBytes; ++t) {
        const auto begin = patterns.begin() + static_cast<ptrdiff_t>(t * mode.tileBytes);
        if (std::all_of(begin, begin + static_cast<ptrdiff_t>(mode.tileBytes),
                        [](uint8_t b) { return b == 0; }))
            return static_cast<uint16_t>(t);
    }
    return 0;
}

struct DmaJob {
    uint8_t bus = 0;
    uint8_t mode = 0;
    uint8_t step = kStepAfterHigh;
    uint16_t destination = 0; // VRAM word address, or the CGRAM entry
    size_t source = 0;        // ROM offset
    size_t length = 0;        // bytes; 0x10000 is sent as 0
};

// The CPU address of a ROM offset in bank 1 or later: bank, then $8000-$FFFF.
uint32_t cpuAddress(size_t offset) {
    return static_cast<uint32_t>((offset / kBankSize) << 16 | (0x8000 + offset % kBankSize));
}

void putJob(std::vector<uint8_t> &list, const DmaJob &job) {
    const uint32_t from = cpuAddress(job.source);
    list.insert(list.end(),
                {job.bus, job.mode, job.step, static_cast<uint8_t>(job.destination),
                 static_cast<uint8_t>(job.destination >> 8), static_cast<uint8_t>(from),
                 static_cast<uint8_t>(from >> 8), static_cast<uint8_t>(from >> 16),
                 static_cast<uint8_t>(job.length), static_cast<uint8_t>(job.length >> 8)});
}

// A VRAM copy split where its source crosses into the next bank (a DMA
// source address does not carry into the bank byte). Pieces stay even.
void putVramCopy(std::vector<uint8_t> &list, uint16_t word, size_t source, size_t length) {
    while (length > 0) {
        const size_t piece = std::min(length, kBankSize - source % kBankSize);
        putJob(list, {kVramLow, kTwoRegisters, kStepAfterHigh, word, source, piece});
        word = static_cast<uint16_t>(word + piece / 2);
        source += piece;
        length -= piece;
    }
}

struct Placement {
    size_t fill = 0; // three bytes: 0, the blank entry's low and high byte
    size_t palette = 0;
    size_t patterns = 0;
    size_t names = 0;
    size_t end = 0;
};

Placement place(const RomPicture &picture, size_t patternBytes) {
    Placement at;
    at.fill = kBankSize + kListSpace;
    at.palette = at.fill + 4;
    at.patterns = at.palette + picture.palette.size() + picture.palette.size() % 2;
    at.names = at.patterns + patternBytes;
    at.end = at.names + picture.names.size();
    return at;
}

void putRegister(std::vector<uint8_t> &list, uint8_t reg, uint8_t value) {
    list.insert(list.end(), {reg, value}); // $2100 + reg
}

// How far the joypad may scroll: over the picture, within the name table.
void putScrollLimits(std::vector<uint8_t> &list, const RomPicture &picture, const SnesMode &mode) {
    const int32_t width = std::min(picture.columns, mode.mapTiles) * 8;
    const int32_t height = std::min(picture.rows, mode.mapTiles) * 8;
    const auto x = static_cast<uint16_t>(std::max(width - kScreenWidth, 0));
    const auto y = static_cast<uint16_t>(std::max(height - kScreenHeight, 0));
    list.insert(list.end(), {static_cast<uint8_t>(x), static_cast<uint8_t>(x >> 8),
                             static_cast<uint8_t>(y), static_cast<uint8_t>(y >> 8)});
}

void putRegisters(std::vector<uint8_t> &list, const SnesMode &mode) {
    const uint8_t size = mode.mapTiles == 64 ? 3 : 0; // 64x64 entries: four screens
    putRegister(list, 0x05, mode.bgMode);             // BGMODE
    putRegister(list, 0x07, static_cast<uint8_t>(mode.mapWord >> 8 | size)); // BG1SC
    putRegister(list, 0x0B, 0x00);                                           // BG12NBA: tiles at 0
    putRegister(list, 0x0E, 0xFF); // BG1VOFS = $3FF puts map line 0 on screen line 0
    putRegister(list, 0x0E, 0x03);
    putRegister(list, 0x2C, 0x01); // TM: BG1 only
    list.push_back(0xFF);
}

// Copies the map's top-left corner into the name table, a row of a screen
// (32 entries) at a time.
void putMapRows(std::vector<uint8_t> &list, const RomPicture &picture, const SnesMode &mode,
                size_t names) {
    const auto rowBytes = static_cast<size_t>(picture.columns) * 2;
    const int32_t rows = std::min(picture.rows, mode.mapTiles);
    const int32_t screensAcross = mode.mapTiles / kScreenTiles;
    for (int32_t row = 0; row < rows; ++row) {
        if (static_cast<size_t>(row + 1) * rowBytes > picture.names.size())
            break;
        for (int32_t across = 0; across < screensAcross; ++across) {
            const int32_t first = across * kScreenTiles;
            const int32_t count = std::min(picture.columns - first, kScreenTiles);
            if (count <= 0)
                break;
            const int32_t screen = row / kScreenTiles * screensAcross + across;
            const auto word = static_cast<uint16_t>(mode.mapWord + screen * 1024 +
                                                    row % kScreenTiles * kScreenTiles);
            putVramCopy(list, word, names + static_cast<size_t>(row) * rowBytes + first * 2,
                        static_cast<size_t>(count) * 2);
        }
    }
}

// The palette file's sub-palettes hold C colours each (fewer than the mode's
// with -q): each goes to its own place in CGRAM.
void putPalettes(std::vector<uint8_t> &list, const RomPicture &picture, const SnesMode &mode,
                 size_t palette) {
    const auto count = static_cast<size_t>(std::max(picture.paletteCount, 1));
    const size_t bytesEach = picture.palette.size() / count;
    if (count == 1 || bytesEach == 0) {
        if (!picture.palette.empty())
            putJob(list,
                   {kCgramData, kOneRegister, kStepAfterHigh, 0, palette, picture.palette.size()});
        return;
    }
    for (size_t p = 0; p < count; ++p)
        putJob(list,
               {kCgramData, kOneRegister, kStepAfterHigh,
                static_cast<uint16_t>(p * mode.paletteStep), palette + p * bytesEach, bytesEach});
}

std::vector<uint8_t> makeLists(const RomPicture &picture, const SnesMode &mode,
                               const Placement &at) {
    std::vector<uint8_t> list;
    putScrollLimits(list, picture, mode);
    putRegisters(list, mode);
    // All of VRAM to zero, so tiles past the last one are blank.
    putJob(list, {kVramLow, kTwoRegisters | kFixedSource, kStepAfterHigh, 0, at.fill, 0x10000});
    // Every name table entry to the blank one, low bytes then high bytes.
    const auto entries = static_cast<size_t>(mode.mapTiles * mode.mapTiles);
    putJob(list, {kVramLow, kOneRegister | kFixedSource, kStepAfterLow, mode.mapWord, at.fill + 1,
                  entries});
    putJob(list, {kVramHigh, kOneRegister | kFixedSource, kStepAfterHigh, mode.mapWord, at.fill + 2,
                  entries});
    putPalettes(list, picture, mode, at.palette);
    putVramCopy(list, 0, at.patterns, at.names - at.patterns);
    putMapRows(list, picture, mode, at.names);
    list.push_back(0);
    return list;
}

void setChecksum(std::vector<uint8_t> &rom) {
    rom[kComplementOffset] = 0xFF;
    rom[kComplementOffset + 1] = 0xFF;
    rom[kChecksumOffset] = 0;
    rom[kChecksumOffset + 1] = 0;
    uint32_t sum = 0;
    for (uint8_t byte : rom)
        sum += byte;
    const auto checksum = static_cast<uint16_t>(sum);
    const auto complement = static_cast<uint16_t>(~checksum);
    rom[kChecksumOffset] = static_cast<uint8_t>(checksum);
    rom[kChecksumOffset + 1] = static_cast<uint8_t>(checksum >> 8);
    rom[kComplementOffset] = static_cast<uint8_t>(complement);
    rom[kComplementOffset + 1] = static_cast<uint8_t>(complement >> 8);
}

void copyAt(std::vector<uint8_t> &rom, size_t at, const std::vector<uint8_t> &bytes) {
    const size_t room = at < rom.size() ? rom.size() - at : 0;
    std::copy_n(bytes.begin(), std::min(bytes.size(), room),
                rom.begin() + static_cast<ptrdiff_t>(std::min(at, rom.size())));
}

} // namespace

std::string snesRomProblem(const RomPicture &picture) {
    const SnesMode mode = snesMode(picture.tilePlanes);
    if (picture.tileCount > mode.tileLimit)
        return "Error: The picture needs " + std::to_string(picture.tileCount) +
               " tiles; the SNES viewer holds at most " + std::to_string(mode.tileLimit) +
               " in this format.\n";
    const Placement at = place(picture, static_cast<size_t>(picture.tileCount) * mode.tileBytes);
    if (at.end > kMaxRomSize)
        return "Error: The map of " + std::to_string(picture.columns) + "x" +
               std::to_string(picture.rows) + " tiles needs " +
               std::to_string(picture.names.size()) + " bytes; the SNES viewer ROM (2 MB) has " +
               "room for " + std::to_string(kMaxRomSize - std::min(kMaxRomSize, at.names)) + ".\n";
    return {};
}

std::vector<uint8_t> buildSnesRom(const RomPicture &picture) {
    const SnesMode mode = snesMode(picture.tilePlanes);
    const std::vector<uint8_t> patterns = widenPatterns(picture, mode);
    const Placement at = place(picture, patterns.size());
    std::vector<uint8_t> rom(powerOfTwoRomSize(at.end, kMinRomSize), 0);
    const size_t viewerBytes = std::min(morvik_snes_viewer_size, kBankSize);
    std::copy_n(morvik_snes_viewer, viewerBytes, rom.begin());
    copyAt(rom, kBankSize, makeLists(picture, mode, at));
    const uint16_t blank = blankEntry(patterns, picture, mode);
    copyAt(rom, at.fill, {0, static_cast<uint8_t>(blank), static_cast<uint8_t>(blank >> 8)});
    copyAt(rom, at.palette, picture.palette);
    copyAt(rom, at.patterns, patterns);
    copyAt(rom, at.names, picture.names);
    rom[kSizeByte] = static_cast<uint8_t>(std::countr_zero(rom.size() / 1024));
    setChecksum(rom);
    return rom;
}
