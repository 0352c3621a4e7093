// Deterministic pictures for the benchmarks: a tile map built from a few
// hundred distinct 16-colour tiles with repeats and mirrors, and a photo-like
// picture of smooth gradients with noise.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace benchimages {

using Tile = std::array<uint8_t, 64>;

// Palette indexes (0..colours-1), top row first, side x side pixels.
inline std::vector<uint8_t> tileMapIndexes(uint32_t side, size_t distinctTiles, uint32_t colours,
                                           uint32_t seed = 2024) {
    std::mt19937 rng(seed);
    std::vector<Tile> tiles(distinctTiles);
    for (Tile &tile : tiles)
        for (uint8_t &pixel : tile)
            pixel = static_cast<uint8_t>(rng() % colours);
    std::vector<uint8_t> map(static_cast<size_t>(side) * side);
    const size_t tilesPerSide = side / 8;
    for (size_t ty = 0; ty < tilesPerSide; ++ty)
        for (size_t tx = 0; tx < tilesPerSide; ++tx) {
            const Tile &tile = tiles[rng() % distinctTiles];
            const uint32_t flip = rng() % 4;
            for (size_t y = 0; y < 8; ++y)
                for (size_t x = 0; x < 8; ++x) {
                    size_t sx = (flip & 1) ? 7 - x : x;
                    size_t sy = (flip & 2) ? 7 - y : y;
                    map[(ty * 8 + y) * side + tx * 8 + x] = tile[sy * 8 + sx];
                }
        }
    return map;
}

// 16 well-spread colours for the map's indexes.
inline std::array<uint8_t, 3> mapColour(uint8_t index) {
    return {static_cast<uint8_t>(index * 16), static_cast<uint8_t>(255 - index * 9),
            static_cast<uint8_t>((index * 71) & 0xFF)};
}

// Red, green, blue triplets, top row first.
inline std::vector<uint8_t> photoPixels(uint32_t width, uint32_t height, uint32_t seed = 7) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            size_t at = (static_cast<size_t>(y) * width + x) * 3;
            int noise = static_cast<int>(rng() % 17) - 8;
            auto clamp = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
            rgb[at] = clamp(static_cast<int>(x * 255 / width) + noise);
            rgb[at + 1] = clamp(static_cast<int>(y * 255 / height) - noise);
            rgb[at + 2] = clamp(static_cast<int>(((x + y) * 255) / (width + height)) + noise / 2);
        }
    return rgb;
}

} // namespace benchimages
