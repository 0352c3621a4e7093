// The name table: one entry per tile position, tile number and mirror bits.
#pragma once

#include "targets/Targets.hpp"
#include "tiles/TileSet.hpp"

#include <cstdint>
#include <vector>

// The file's bytes, two a tile position in scan order. `palettes` holds each
// position's sub-palette (empty: all use palette 0).
std::vector<uint8_t> encodeNameTable(const TileSet &tiles, NameEntry form,
                                     const std::vector<uint8_t> &palettes = {});
