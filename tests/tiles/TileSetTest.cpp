// Cutting images into tiles: duplicate and mirror matching, and agreement with
// a plain linear scan on random images.
#include "tiles/TileSet.hpp"
#include "targets/Targets.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <random>
#include <vector>

namespace {

using Tile = std::array<uint8_t, 64>;
using Ints = std::vector<int32_t>;

// Tiles placed in scan order on a grid `columns` wide.
WorkImage imageOfTiles(int32_t columns, const std::vector<Tile> &tiles) {
    const auto rows = static_cast<int32_t>(tiles.size()) / columns;
    WorkImage image{columns * 8, rows * 8, 8, std::vector<uint8_t>(tiles.size() * 64, 0)};
    for (size_t i = 0; i < tiles.size(); ++i)
        for (size_t p = 0; p < 64; ++p)
            image.pixels[((i / columns) * 8 + p / 8) * columns * 8 + (i % columns) * 8 + p % 8] =
                tiles[i][p];
    return image;
}

// Position p of the result reads position mirrorOf(p) of the tile.
size_t mirrorOf(size_t p, int32_t flip) {
    return ((flip & 2) ? 7 - p / 8 : p / 8) * 8 + ((flip & 1) ? 7 - p % 8 : p % 8);
}

Tile mirrorTile(const Tile &tile, int32_t flip) {
    Tile out{};
    for (size_t p = 0; p < 64; ++p)
        out[p] = tile[mirrorOf(p, flip)];
    return out;
}

Tile makeSymmetric(Tile tile, int32_t flip) {
    for (size_t p = 0; p < 64; ++p)
        tile[p] = tile[std::min(p, mirrorOf(p, flip))];
    return tile;
}

Tile countingTile() {
    Tile tile{};
    for (size_t p = 0; p < 64; ++p)
        tile[p] = static_cast<uint8_t>(p);
    return tile;
}

// Plain transcription of the scan over the unique tiles of equal checksum.
TileSet referenceTileSet(const WorkImage &image, bool optimise, bool canFlip) {
    TileSet set;
    for (int32_t ty = 0; ty < image.height / 8; ++ty)
        for (int32_t tx = 0; tx < image.width / 8; ++tx) {
            int32_t sum = 0;
            for (int32_t p = 0; p < 64; ++p)
                sum += image.pixels[(ty * 8 + p / 8) * image.width + tx * 8 + p % 8];
            bool found = false;
            for (size_t j = 0; optimise && !found && j < set.uniqueTiles.size(); ++j)
                for (int32_t f = 0; set.checksums[j] == sum && !found && f < (canFlip ? 4 : 1); ++f)
                    if (tilesMatch(image, {tx, ty}, set.uniqueTiles[j], f)) {
                        set.tileMap.push_back(static_cast<int32_t>(j));
                        set.flipCodes.push_back(f);
                        found = true;
                    }
            if (found)
                continue;
            set.checksums.push_back(sum);
            set.uniqueTiles.push_back({tx, ty});
            set.tileMap.push_back(static_cast<int32_t>(set.uniqueTiles.size()) - 1);
            set.flipCodes.push_back(0);
        }
    return set;
}

// One number per unique tile for comparing coordinates.
Ints coordKeys(const TileSet &set) {
    Ints out;
    for (TileCoord tile : set.uniqueTiles)
        out.push_back(tile.column * 100000 + tile.row);
    return out;
}

TEST(TileSet, WithoutOptimiseEveryPositionIsItsOwnTile) {
    WorkImage image = imageOfTiles(32, std::vector<Tile>(32 * 24, Tile{}));
    testing::internal::CaptureStdout();
    const TileSet set = buildTileSet(image, false, true, true);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Identifying unique tiles.. Found 768 unique tiles (of 768).\n");
    ASSERT_EQ(set.uniqueTiles.size(), 768u);
    for (int32_t i = 0; i < 768; ++i) {
        EXPECT_EQ(set.tileMap[i], i);
        EXPECT_EQ(set.flipCodes[i], 0);
        EXPECT_EQ(set.uniqueTiles[i].column * 1000 + set.uniqueTiles[i].row,
                  i % 32 * 1000 + i / 32);
    }
    testing::internal::CaptureStdout();
    buildTileSet(image, true, true, false);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(TileSet, OptimiseMatchesRepeatsAndMirrors) {
    const Tile a = countingTile();
    const Tile halfTurn = makeSymmetric(a, 3);
    Tile sameSum{};
    sameSum[0] = 1;
    sameSum[9] = 1;
    Tile twoAtCorner{};
    twoAtCorner[0] = 2;
    struct Case {
        const char *what;
        std::vector<Tile> tiles;
        bool canFlip;
        size_t unique;
        Ints tileMap, flipCodes;
    };
    const bool sms = targetRow(Target::Sms).canFlip != 0;
    const bool tgx = targetRow(Target::Tgx).canFlip != 0;
    const Case cases[] = {
        {"all equal", {a, a, a, a}, sms, 1, {0, 0, 0, 0}, {0, 0, 0, 0}},
        {"left-right mirror on sms", {a, mirrorTile(a, 1)}, sms, 1, {0, 0}, {0, 1}},
        {"left-right mirror on tgx", {a, mirrorTile(a, 1)}, tgx, 2, {0, 1}, {0, 0}},
        {"every mirror code",
         {a, mirrorTile(a, 1), mirrorTile(a, 2), mirrorTile(a, 3)},
         true,
         1,
         {0, 0, 0, 0},
         {0, 1, 2, 3}},
        {"own mirror image", {makeSymmetric(a, 1), makeSymmetric(a, 1)}, true, 1, {0, 0}, {0, 0}},
        {"half-turn symmetric", {halfTurn, mirrorTile(halfTurn, 2)}, true, 1, {0, 0}, {0, 1}},
        {"equal sums", {twoAtCorner, sameSum, twoAtCorner}, true, 2, {0, 1, 0}, {0, 0, 0}},
        {"one tile", {a}, true, 1, {0}, {0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WorkImage image = imageOfTiles(static_cast<int32_t>(c.tiles.size()), c.tiles);
        const TileSet set = buildTileSet(image, true, c.canFlip, false);
        EXPECT_EQ(set.uniqueTiles.size(), c.unique);
        EXPECT_EQ(set.tileMap, c.tileMap);
        EXPECT_EQ(set.flipCodes, c.flipCodes);
    }
    const TileSet sums = buildTileSet(imageOfTiles(2, {twoAtCorner, a}), true, true, false);
    EXPECT_EQ(sums.checksums, (Ints{2, 2016}));
}

TEST(TileSet, UnusableImagesGiveNoTiles) {
    WorkImage empty;
    EXPECT_TRUE(buildTileSet(empty, true, true, false).tileMap.empty());
    WorkImage direct = imageOfTiles(1, {Tile{}, Tile{}});
    direct.bitsPerPixel = 16;
    EXPECT_TRUE(buildTileSet(direct, true, true, false).tileMap.empty());
}

TEST(TilesMatch, ComparesUnderEachMirrorCodeInsideTheImage) {
    const Tile a = countingTile();
    for (int32_t shown = 0; shown < 4; ++shown) {
        WorkImage image = imageOfTiles(2, {a, mirrorTile(a, shown)});
        for (int32_t f = 0; f < 4; ++f)
            EXPECT_EQ(tilesMatch(image, {1, 0}, {0, 0}, f), f == shown) << shown << " " << f;
        EXPECT_FALSE(tilesMatch(image, {2, 0}, {0, 0}, 0));
        EXPECT_FALSE(tilesMatch(image, {0, 0}, {0, -1}, 0));
    }
}

TEST(TileSet, MatchesTheLinearScanOnRandomImages) {
    std::mt19937 rng(12345);
    for (int trial = 0; trial < 400; ++trial) {
        // A few random tiles, some symmetric or sharing the previous one's sum.
        std::vector<Tile> sources(rng() % 5 + 1);
        const unsigned colours = rng() % 4 + 1;
        for (size_t s = 0; s < sources.size(); ++s) {
            for (uint8_t &pixel : sources[s])
                pixel = static_cast<uint8_t>(rng() % colours);
            const unsigned kind = rng() % 5;
            if (kind < 2)
                sources[s] = makeSymmetric(sources[s], static_cast<int32_t>(rng() % 3 + 1));
            if (kind == 2 && s > 0) {
                sources[s] = sources[s - 1];
                std::swap(sources[s][rng() % 64], sources[s][rng() % 64]);
            }
        }
        const auto columns = static_cast<int32_t>(rng() % 10 + 1);
        std::vector<Tile> placed(static_cast<size_t>(columns) * (rng() % 8 + 1));
        for (Tile &tile : placed)
            tile = mirrorTile(sources[rng() % sources.size()], static_cast<int32_t>(rng() % 4));
        WorkImage image = imageOfTiles(columns, placed);
        for (int mode = 0; mode < 8; ++mode) {
            SCOPED_TRACE(testing::Message() << "trial " << trial << " mode " << mode);
            const TileSet fast = buildTileSet(image, mode & 1, mode & 2, false, mode & 4 ? 3 : 1);
            const TileSet plain = referenceTileSet(image, mode & 1, mode & 2);
            EXPECT_EQ(coordKeys(fast), coordKeys(plain));
            EXPECT_EQ(fast.checksums, plain.checksums);
            EXPECT_EQ(fast.tileMap, plain.tileMap);
            EXPECT_EQ(fast.flipCodes, plain.flipCodes);
        }
    }
}

} // namespace
