// Pixel mapping and the pattern bytes of every layout: hand-checked tiles, and
// random images decoded back from the bytes.
#include "tiles/TileEncoder.hpp"
#include "targets/Targets.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

WorkImage makeImage(int32_t width, int32_t height, int32_t bits, Bytes pixels) {
    return WorkImage{width, height, bits, std::move(pixels)};
}

// Every tile position as its own unique tile, in scan order.
TileSet everyTile(const WorkImage &image) {
    TileSet set;
    for (int32_t ty = 0; ty < image.height / 8; ++ty)
        for (int32_t tx = 0; tx < image.width / 8; ++tx)
            set.uniqueTiles.push_back({tx, ty});
    return set;
}

PatternBuffer encode(const WorkImage &image, Target target, int32_t planes,
                     const PixelMapping &mapping = {}, bool chain = false) {
    PatternBuffer out;
    EXPECT_TRUE(encodePatterns(image, everyTile(image), targetRow(target).layout, planes, chain,
                               mapping, out));
    return out;
}

PixelMapping mappingOf(int32_t base, bool transparency = false, uint8_t background = 0) {
    return {transparency, background, base};
}

TEST(TilePixelMapping, AddsTheBaseAndSwapsTheBackground) {
    EXPECT_EQ(mapPixel(mappingOf(3), 12), 15);
    EXPECT_EQ(mapPixel(mappingOf(3), 254), 1);
    EXPECT_EQ(mapPixel(mappingOf(4, true, 3), 3), 0); // no base on the background
    EXPECT_EQ(mapPixel(mappingOf(4, true, 3), 0), 7);
    EXPECT_EQ(mapPixel(mappingOf(4, true, 3), 1), 5);
    EXPECT_EQ(mapPixel(mappingOf(2, true, 0), 0), 0);
    EXPECT_EQ(mapPixel(mappingOf(2, true, 255), 0), 1);
}

// Tiles of a 16x8 image (two tiles) with a few pixels set, all others 0.
struct HandCase {
    const char *what;
    Target target;
    int32_t planes;
    PixelMapping mapping;
    std::map<size_t, uint8_t> pixels; // position in the image -> index
    size_t length;
    std::map<size_t, uint8_t> bytes; // every other byte of the data is `fill`
    uint8_t fill = 0;
};

TEST(TileEncoder, HandCheckedTiles) {
    const size_t row3 = 3 * 16, row7 = 7 * 16, tile1 = 8;
    const HandCase cases[] = {
        {"sms p4", Target::Sms, 4, {}, {{0, 5}}, 64, {{0, 0x80}, {2, 0x80}}},
        {"snes p4", Target::Snes, 4, {}, {{0, 5}}, 64, {{0, 0x80}, {16, 0x80}}},
        {"snes 3 planes",
         Target::Snes,
         3,
         {},
         {{0, 5}, {row3 + tile1 + 1, 4}, {row7 + tile1 + 7, 3}},
         48,
         {{0, 0x80}, {16, 0x80}, {(3 + 2) * 8 + 3, 0x40}, {24 + 14, 0x01}, {24 + 15, 0x01}}},
        {"tgx 1 plane", Target::Tgx, 1, {}, {{2 * 16 + tile1, 1}}, 16, {{8 + 2, 0x80}}},
        {"smd pairs",
         Target::Smd,
         4,
         {},
         {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}, {16 + 7, 15}},
         64,
         {{0, 0x12}, {1, 0x34}, {2, 0x56}, {3, 0x78}, {7, 0x0F}}},
        // 17 and 16: the right value's high bits are or-ed into the high nibble
        {"smd shift and or", Target::Smd, 4, mappingOf(16), {{0, 1}}, 64, {}, 0x10},
        // 4 -> 0, 0 -> 1 + 4, 1 -> 2
        {"smd transparency",
         Target::Smd,
         4,
         mappingOf(1, true, 4),
         {{0, 4}, {2, 1}},
         64,
         {{0, 0x05}, {1, 0x25}},
         0x55},
        {"base 2, one plane", Target::Sms, 1, mappingOf(2), {{1, 1}, {3, 1}}, 16, {{0, 0x50}}},
        {"no planes", Target::Sms, 0, {}, {{0, 3}}, 0, {}},
    };
    for (const HandCase &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes pixels(128, 0);
        for (auto [at, index] : c.pixels)
            pixels[at] = index;
        const PatternBuffer out =
            encode(makeImage(16, 8, 8, pixels), c.target, c.planes, c.mapping);
        ASSERT_EQ(out.length, c.length);
        ASSERT_EQ(out.bytes.size(), c.length + 4096);
        Bytes expected(out.bytes.size(), 0);
        std::fill(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(c.length),
                  c.fill);
        for (auto [at, byte] : c.bytes)
            expected[at] = byte;
        EXPECT_EQ(out.bytes, expected);
    }
    // With two planes bit 1 of the stored values 2 and 3 reaches plane 1 of every row.
    Bytes pixels(128, 0);
    pixels[1] = pixels[3] = 1;
    const PatternBuffer two = encode(makeImage(16, 8, 8, pixels), Target::Sms, 2, mappingOf(2));
    EXPECT_EQ(Bytes(two.bytes.begin(), two.bytes.begin() + 4), (Bytes{0x50, 0xFF, 0x00, 0xFF}));
}

TEST(TileEncoder, DirectColourWordsHighByteFirst) {
    // Red, blue and black colour words, low byte first in memory.
    const WorkImage image = makeImage(3, 1, 16, {0x1F, 0x80, 0x00, 0xFC, 0x00, 0x80});
    const PatternBuffer out = encode(image, Target::Sega32x, 16);
    EXPECT_EQ(out.length, 6u);
    EXPECT_EQ(out.bytes, (Bytes{0x80, 0x1F, 0xFC, 0x00, 0x80, 0x00}));
    EXPECT_TRUE(out.usedIndices.empty());
}

TEST(TileEncoder, IndexedBitmapIsMappedAndIgnoresChain) {
    const WorkImage image = makeImage(4, 2, 8, {0, 1, 2, 3, 3, 2, 9, 0});
    for (bool chain : {false, true}) {
        const PatternBuffer out = encode(image, Target::Sega32x, 8, mappingOf(10, true, 2), chain);
        EXPECT_EQ(out.bytes, (Bytes{12, 11, 0, 13, 13, 0, 19, 12}));
        EXPECT_EQ(out.usedIndices, (Bytes{0, 1, 2, 3, 9}));
    }
}

TEST(TileEncoder, UsedIndicesAndChain) {
    Bytes pixels(128, 0);
    pixels[0] = 7;
    pixels[1] = 3;
    pixels[8] = 9;  // tile 1 row 0 comes after every row of tile 0
    pixels[16] = 2; // tile 0 row 1
    const WorkImage image = makeImage(16, 8, 8, pixels);
    for (Target target : {Target::Sms, Target::Snes, Target::Smd}) {
        EXPECT_EQ(encode(image, target, 4).usedIndices, (Bytes{7, 3, 0, 2, 9}));
        const PatternBuffer chained = encode(image, target, 4, {}, true);
        EXPECT_EQ(chained.length, 64u);
        EXPECT_EQ(chained.bytes, Bytes(64 + 4096, 0));
        EXPECT_EQ(chained.usedIndices, (Bytes{7, 3, 0, 2, 9}));
    }
    TileSet secondOnly; // only unique tiles are read and stored
    secondOnly.uniqueTiles = {{1, 0}};
    PatternBuffer out;
    ASSERT_TRUE(encodePatterns(image, secondOnly, PatternLayout::Interleaved, 4, false, {}, out));
    EXPECT_EQ(out.length, 32u);
    EXPECT_EQ(out.bytes[0], 0x80);
    EXPECT_EQ(out.usedIndices, (Bytes{9, 0}));
}

TEST(TileEncoder, RefusesInputsThatDoNotFit) {
    const WorkImage image = makeImage(8, 8, 8, Bytes(64, 1));
    const TileSet tiles = everyTile(image);
    PatternBuffer out;
    EXPECT_FALSE(encodePatterns(image, tiles, PatternLayout::Interleaved, 9, false, {}, out));
    EXPECT_FALSE(encodePatterns(image, tiles, PatternLayout::Pairs, -1, false, {}, out));
    EXPECT_FALSE(encodePatterns(image, tiles, PatternLayout::Bitmap, 16, false, {}, out));
    TileSet outside;
    outside.uniqueTiles = {{1, 0}};
    EXPECT_FALSE(encodePatterns(image, outside, PatternLayout::Pairs, 4, false, {}, out));
    EXPECT_TRUE(encodePatterns(image, tiles, PatternLayout::None, 8, false, {}, out));
    EXPECT_EQ(out.length, 0u);
}

// Decoders of each layout, written from the layout descriptions: the value of
// pixel x of row r of tile t.
uint8_t decodePixel(const Bytes &data, Target target, int32_t planes, size_t t, size_t r,
                    size_t x) {
    const auto p = static_cast<size_t>(planes);
    if (target == Target::Smd) {
        const uint8_t byte = data[t * 32 + r * 4 + x / 2];
        return static_cast<uint8_t>(x % 2 == 0 ? byte >> 4 : byte & 0x0F);
    }
    int32_t value = 0;
    for (size_t k = 0; k < p; ++k) {
        size_t at = (t * 8 + r) * p + k; // interleaved
        if (target == Target::Snes)
            at = k < p - p % 2 ? (p * t + k / 2 * 2) * 8 + r * 2 + k % 2 : (p * t + p - 1) * 8 + r;
        value |= ((data[at] >> (7 - x)) & 1) << k;
    }
    return static_cast<uint8_t>(value);
}

TEST(TileEncoder, RandomTilesDecodeBackToTheirMappedPixels) {
    std::mt19937 rng(99);
    for (int32_t planes = 0; planes <= 8; ++planes)
        for (Target target : {Target::Sgg, Target::Snes, Target::Smd})
            for (int trial = 0; trial < 10; ++trial) {
                const bool packed = target == Target::Smd;
                if (packed && planes != 4)
                    continue;
                const uint32_t colours = packed ? 12 : 256;
                const size_t columns = rng() % 4 + 1, rows = rng() % 3 + 1;
                Bytes pixels(columns * rows * 64);
                for (uint8_t &pixel : pixels)
                    pixel = static_cast<uint8_t>(rng() % colours);
                const PixelMapping mapping =
                    mappingOf(static_cast<int32_t>(rng() % (packed ? 4 : 300)), rng() % 2 == 0,
                              static_cast<uint8_t>(rng() % colours));
                const PatternBuffer out =
                    encode(makeImage(static_cast<int32_t>(columns * 8),
                                     static_cast<int32_t>(rows * 8), 8, pixels),
                           target, planes, mapping);
                SCOPED_TRACE(testing::Message()
                             << targetRow(target).name << " " << planes << " " << trial);
                const size_t tiles = columns * rows;
                ASSERT_EQ(out.length, tiles * static_cast<size_t>(planes) * 8);
                ASSERT_EQ(out.bytes.size(), out.length + 4096);
                for (size_t i = out.length; i < out.bytes.size(); ++i)
                    ASSERT_EQ(out.bytes[i], 0) << i;
                for (size_t t = 0; t < tiles; ++t)
                    for (size_t p = 0; p < 64; ++p) {
                        const size_t y = t / columns * 8 + p / 8, x = t % columns * 8 + p % 8;
                        const uint8_t raw = pixels[y * columns * 8 + x];
                        ASSERT_EQ(
                            decodePixel(out.bytes, target, planes, t, p / 8, p % 8),
                            static_cast<uint8_t>(mapPixel(mapping, raw) & ((1 << planes) - 1)))
                            << "tile " << t << " pixel " << p;
                    }
            }
}

} // namespace
