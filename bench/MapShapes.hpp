// Four deterministic tile maps of the shapes big game maps have, as 16-colour
// palette indexes, top row first. Every map's tiles are pairwise distinct even
// under mirroring, so the unique tile count under -opt is exactly `tiles`.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace mapshapes {

using Tile = std::array<uint8_t, 64>;

struct MapShape {
    std::string name;
    uint32_t width = 0;
    uint32_t height = 0;
    size_t tiles = 0;
};

struct TileMap {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> indexes;
};

inline const std::vector<MapShape> &mapShapes() {
    static const std::vector<MapShape> shapes = {{"islands4096x4096", 4096, 4096, 799},
                                                 {"dungeon2048x2048", 2048, 2048, 2560},
                                                 {"floor4096x2048", 4096, 2048, 1636},
                                                 {"rope4096x2048", 4096, 2048, 8876}};
    return shapes;
}

inline Tile mirrorTile(const Tile &tile, uint32_t flip) {
    Tile out{};
    for (size_t y = 0; y < 8; ++y)
        for (size_t x = 0; x < 8; ++x)
            out[y * 8 + x] = tile[((flip & 2) ? 7 - y : y) * 8 + ((flip & 1) ? 7 - x : x)];
    return out;
}

// A base colour with strokes of two others, as drawn tiles mostly are.
inline Tile drawnTile(std::mt19937 &rng) {
    Tile tile{};
    const auto base = static_cast<uint8_t>(rng() % 16);
    const auto first = static_cast<uint8_t>(rng() % 16);
    const auto second = static_cast<uint8_t>(rng() % 16);
    for (uint8_t &pixel : tile) {
        const uint32_t pick = rng() % 8;
        pixel = pick < 5 ? base : pick < 7 ? first : second;
    }
    return tile;
}

inline std::vector<Tile> distinctTiles(size_t count, std::mt19937 &rng) {
    std::vector<Tile> tiles;
    std::set<Tile> seen;
    while (tiles.size() < count) {
        Tile tile = drawnTile(rng);
        Tile key = tile;
        for (uint32_t flip = 1; flip < 4; ++flip)
            key = std::min(key, mirrorTile(tile, flip));
        if (seen.insert(key).second)
            tiles.push_back(tile);
    }
    return tiles;
}

struct Cell {
    size_t tile = 0;
    uint32_t flip = 0;
};

// One cell per tile position, row by row; the shape decides the layout.
inline std::vector<Cell> layout(const MapShape &shape, std::mt19937 &rng) {
    const size_t columns = shape.width / 8;
    const size_t rows = shape.height / 8;
    std::vector<Cell> cells(columns * rows);
    const size_t n = shape.tiles;
    size_t next = 0; // walks every tile once before repeating
    auto walk = [&] { return next < n ? next++ : rng() % n; };
    for (size_t ty = 0; ty < rows; ++ty)
        for (size_t tx = 0; tx < columns; ++tx) {
            Cell &cell = cells[ty * columns + tx];
            if (shape.name.starts_with("islands")) {
                // Sea of tile 0 with 24x24 islands on a 64-tile grid.
                const bool island = tx % 64 < 24 && ty % 64 < 24;
                cell.tile = island ? 1 + (walk() % (n - 1)) : 0;
            } else if (shape.name.starts_with("dungeon")) {
                // Walls (tile 0) between 12x12 rooms of varied floor.
                const bool wall = tx % 13 == 0 || ty % 13 == 0;
                cell.tile = wall ? 0 : 1 + (walk() % (n - 1));
            } else if (shape.name.starts_with("floor")) {
                // 32x32 regions, each a repeated 4x4 motif of its own.
                const size_t region = (ty / 32) * (columns / 32) + tx / 32;
                const size_t motif = region % ((n + 15) / 16);
                cell.tile = (motif * 16 + (ty % 4) * 4 + tx % 4) % n;
            } else {
                // Rope: any tile, mirrored any way.
                cell.tile = walk();
                cell.flip = rng() % 4;
            }
        }
    return cells;
}

inline TileMap makeMap(const MapShape &shape) {
    std::mt19937 rng(static_cast<uint32_t>(shape.tiles * 7919 + shape.width));
    const std::vector<Tile> tiles = distinctTiles(shape.tiles, rng);
    const std::vector<Cell> cells = layout(shape, rng);
    TileMap map{shape.width, shape.height,
                std::vector<uint8_t>(size_t{shape.width} * shape.height)};
    const size_t columns = shape.width / 8;
    for (size_t i = 0; i < cells.size(); ++i) {
        const Tile tile = mirrorTile(tiles[cells[i].tile], cells[i].flip);
        const size_t left = (i % columns) * 8;
        const size_t top = (i / columns) * 8;
        for (size_t y = 0; y < 8; ++y)
            std::copy_n(tile.begin() + static_cast<std::ptrdiff_t>(y * 8), 8,
                        map.indexes.begin() +
                            static_cast<std::ptrdiff_t>((top + y) * shape.width + left));
    }
    return map;
}

} // namespace mapshapes
