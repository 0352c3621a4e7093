// Cutting the indexed image into 8x8 tiles, with repeated and mirrored tiles
// found under -opt.
#pragma once

#include "image/WorkImage.hpp"

#include <cstdint>
#include <vector>

// Mirror code bits.
constexpr int32_t kFlipHorizontal = 1;
constexpr int32_t kFlipVertical = 2;

struct TileCoord {
    int32_t column = 0;
    int32_t row = 0;
};

struct TileSet {
    std::vector<TileCoord> uniqueTiles; // in order of discovery: slot t of the pattern data
    std::vector<int32_t> checksums;     // sum of the 64 indexes of each unique tile
    std::vector<int32_t> tileMap;       // per tile position in scan order: unique tile number
    std::vector<int32_t> flipCodes;     // per tile position: mirror code 0..3
};

// Scans the tiles row by row from the top; prints the verbose progress lines.
// The same set for every thread count.
TileSet buildTileSet(const WorkImage &indexed, bool optimise, bool canFlip, bool verbose,
                     int32_t threads = 1);

// True when the tile lies wholly inside an 8-bit picture.
bool tileInside(const WorkImage &indexed, TileCoord tile);

// True when the candidate tile, read under mirror code f, equals the unique tile.
bool tilesMatch(const WorkImage &indexed, TileCoord candidate, TileCoord unique, int32_t flip);
