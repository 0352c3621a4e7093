// The name table: one entry per tile position, tile number and mirror bits.
#pragma once

#include "cli/Tables.hpp"
#include "tiles/TileSet.hpp"

#include <cstdint>
#include <vector>

// The tile count above which the sms and sgg name table overlaps the patterns.
constexpr int32_t kOverlapTileCount = 448;

// The file's bytes, two a tile position in scan order.
std::vector<uint8_t> encodeNameTable(const TileSet &tiles, NameEntry form);
