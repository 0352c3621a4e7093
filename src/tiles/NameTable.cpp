#include "tiles/NameTable.hpp"

#include <array>

// The two bytes of one entry, first byte first.
static std::array<uint8_t, 2> nameEntry(NameEntry form, uint32_t tile, uint32_t flip) {
    const auto low = static_cast<uint8_t>(tile & 0xFF);
    switch (form) {
    case NameEntry::Sms: // mirror bits 9 and 10
        return {low, static_cast<uint8_t>((tile >> 8) | flip << 1)};
    case NameEntry::Snes: // mirror bits 14 and 15
        return {low, static_cast<uint8_t>((tile >> 8) | flip << 6)};
    case NameEntry::Smd: // big-endian, mirror bits 11 and 12
        return {static_cast<uint8_t>((tile >> 8) | flip << 3), low};
    case NameEntry::Tgx: // twelve bits of tile number, no mirroring
        return {low, static_cast<uint8_t>((tile >> 8) & 0x0F)};
    case NameEntry::None:
        break;
    }
    return {0, 0};
}

std::vector<uint8_t> encodeNameTable(const TileSet &tiles, NameEntry form) {
    std::vector<uint8_t> out;
    out.reserve(tiles.tileMap.size() * 2);
    for (size_t i = 0; i < tiles.tileMap.size() && i < tiles.flipCodes.size(); ++i) {
        auto entry = nameEntry(form, static_cast<uint32_t>(tiles.tileMap[i]),
                               static_cast<uint32_t>(tiles.flipCodes[i]) & 3);
        out.insert(out.end(), entry.begin(), entry.end());
    }
    return out;
}
