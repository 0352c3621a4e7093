#include "tiles/NameTable.hpp"

#include <array>

// The two bytes of one entry, first byte first.
static std::array<uint8_t, 2> nameEntry(NameEntry form, uint32_t tile, uint32_t flip,
                                        uint32_t palette) {
    const auto low = static_cast<uint8_t>(tile & 0xFF);
    switch (form) {
    case NameEntry::Sms: // mirror bits 9 and 10, palette bit 11
        return {low, static_cast<uint8_t>((tile >> 8) | flip << 1 | (palette & 1) << 3)};
    case NameEntry::Snes: // palette bits 12..10, mirror bits 14 and 15
        return {low, static_cast<uint8_t>((tile >> 8) | (palette & 7) << 2 | flip << 6)};
    case NameEntry::Smd: // big-endian, mirror bits 11 and 12, palette bits 13 and 14
        return {static_cast<uint8_t>((tile >> 8) | flip << 3 | (palette & 3) << 5), low};
    case NameEntry::Tgx: // twelve bits of tile number, palette bits 15..12, no mirroring
        return {low, static_cast<uint8_t>(((tile >> 8) & 0x0F) | (palette & 0x0F) << 4)};
    case NameEntry::None:
        break;
    }
    return {0, 0};
}

std::vector<uint8_t> encodeNameTable(const TileSet &tiles, NameEntry form,
                                     const std::vector<uint8_t> &palettes) {
    std::vector<uint8_t> out;
    out.reserve(tiles.tileMap.size() * 2);
    for (size_t i = 0; i < tiles.tileMap.size() && i < tiles.flipCodes.size(); ++i) {
        const uint32_t palette = i < palettes.size() ? palettes[i] : 0;
        auto entry = nameEntry(form, static_cast<uint32_t>(tiles.tileMap[i]),
                               static_cast<uint32_t>(tiles.flipCodes[i]) & 3, palette);
        out.insert(out.end(), entry.begin(), entry.end());
    }
    return out;
}
