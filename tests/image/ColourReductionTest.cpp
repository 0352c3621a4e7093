#include "image/ColourReduction.hpp"
#include "image/WorkImage.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

// A bottom-row-first 24-bit image from blue, green, red triplets.
WorkImagePtr trueColour(int32_t width, int32_t height, const std::vector<uint8_t> &bgr) {
    WorkImagePtr image = makeBlankImage(width, height, 24);
    std::copy(bgr.begin(), bgr.end(), image->pixels);
    return image;
}

std::string quiet(const std::function<void()> &step) {
    testing::internal::CaptureStdout();
    step();
    return testing::internal::GetCapturedStdout();
}

TEST(Padding, FlipsRowsAndFillsWithTheBackgroundColour) {
    // 13x8 indexed image: index = column, except the bottom-left pixel (row 0 here).
    WorkImagePtr source = makeBlankImage(13, 8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 13; ++x)
            source->pixels[y * 13 + x] = static_cast<uint8_t>(x + 16 * y);
    PadResult result;
    std::string out = quiet([&] { result = padAndFlipImage(*source, 0, 0); });
    EXPECT_EQ(out, "Warning: Width is not a multiple of 8. Padding to 16 pixels.\n");
    ASSERT_EQ(result.status, PadStatus::Ok);
    const WorkImage &padded = *result.image;
    ASSERT_EQ(padded.width, 16);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 13; ++x)
            EXPECT_EQ(padded.pixels[y * 16 + x], x + 16 * (7 - y));
        for (int x = 13; x < 16; ++x)
            EXPECT_EQ(padded.pixels[y * 16 + x], 0); // the picture's bottom-left pixel
    }
    // -bg counts rows from the bottom of the picture.
    quiet([&] { result = padAndFlipImage(*source, 2, 1); });
    EXPECT_EQ(result.image->pixels[15], 2 + 16);
    quiet([&] { result = padAndFlipImage(*source, 13, 0); });
    EXPECT_EQ(result.status, PadStatus::BackgroundOutside);
}

TEST(Padding, WholeTilesAreOnlyFlipped) {
    WorkImagePtr source = makeBlankImage(8, 16, 32);
    for (size_t i = 0; i < pixelBytes(*source); ++i)
        source->pixels[i] = static_cast<uint8_t>(i * 7);
    PadResult result;
    // A background position outside the image does not matter when nothing is padded.
    EXPECT_EQ(quiet([&] { result = padAndFlipImage(*source, 99, 99); }), "");
    ASSERT_EQ(result.status, PadStatus::Ok);
    for (int y = 0; y < 16; ++y)
        EXPECT_EQ(0,
                  std::memcmp(result.image->pixels + y * 32, source->pixels + (15 - y) * 32, 32));
    EXPECT_EQ(paddedSide(65537), 65544);
}

TEST(ColourCounting, FirstSeenOrderAndStopAfterLimit) {
    // Bottom row first: red, green, red, blue, white.
    WorkImagePtr image =
        trueColour(5, 1, {0, 0, 255, 0, 255, 0, 0, 0, 255, 255, 0, 0, 255, 255, 255});
    ColourList all = countColours(*image, 16);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0], 0x0000FFu); // red in byte 0
    EXPECT_EQ(all[2], 0xFF0000u); // blue in byte 2
    EXPECT_EQ(findColour(all, 0xFF0000u), 2);
    EXPECT_EQ(findColour(all, 0x123456u), -1);
    EXPECT_EQ(countColours(*image, 2).size(), 3u); // stops at the third new colour
}

TEST(ColourReduction, FirstSeenNumberingOfTrueColour) {
    WorkImagePtr loaded = trueColour(8, 8, std::vector<uint8_t>(192, 0));
    loaded->pixels[0] = 200; // one blue pixel at the bottom left
    ColourList list = countColours(*loaded, 16);
    PadResult padded = padAndFlipImage(*loaded, 0, 0);
    QuantNetwork network;
    int32_t count = static_cast<int32_t>(list.size());
    WorkImagePtr indexed = reduceColours(list, *padded.image, network, {false, 16}, count);
    ASSERT_TRUE(indexed);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(indexed->bitsPerPixel, 8);
    EXPECT_EQ(indexed->pixels[56], 0); // the bottom-left pixel is colour 0
    EXPECT_EQ(indexed->pixels[0], 1);
    EXPECT_EQ((*indexed->palette)[2], 200); // red, green, blue order
    EXPECT_EQ((*indexed->palette)[3], 0);
}

TEST(ColourReduction, IndexedImagesAreRenumberedInPlace) {
    WorkImagePtr loaded = makeBlankImage(8, 8, 8);
    std::fill_n(loaded->pixels, 64, 3);
    loaded->pixels[0] = 7;
    loaded->palette = std::make_shared<Palette>();
    (*loaded->palette)[21] = 10; // entry 7: blue 10, green 20, red 30
    (*loaded->palette)[22] = 20;
    (*loaded->palette)[23] = 30;
    ColourList list = countColours(*loaded, 16);
    PadResult padded = padAndFlipImage(*loaded, 0, 0);
    padded.image->palette = loaded->palette;
    QuantNetwork network;
    int32_t count = 2;
    WorkImagePtr indexed = reduceColours(list, *padded.image, network, {false, 16}, count);
    EXPECT_EQ(indexed->pixels, padded.image->pixels);
    EXPECT_FALSE(indexed->ownsPixels);
    EXPECT_EQ(indexed->pixels[56], 0);
    EXPECT_EQ(indexed->pixels[0], 1);
    EXPECT_EQ((*indexed->palette)[0], 30);
    EXPECT_EQ((*indexed->palette)[2], 10);
}

TEST(ColourReduction, DirectColourWords) {
    WorkImagePtr loaded = trueColour(8, 8, std::vector<uint8_t>(192, 0));
    loaded->pixels[2] = 255; // pure red
    loaded->pixels[3] = 255; // pure blue
    PadResult padded = padAndFlipImage(*loaded, 0, 0);
    QuantNetwork network;
    int32_t count = 0;
    WorkImagePtr words = reduceColours({}, *padded.image, network, {true, 0}, count);
    ASSERT_EQ(words->bitsPerPixel, 16);
    const uint8_t *red = words->pixels + 2 * 56;
    EXPECT_EQ(red[0], 0x1F);
    EXPECT_EQ(red[1], 0x80);
    EXPECT_EQ(red[2], 0x00);
    EXPECT_EQ(red[3], 0xFC);
    EXPECT_EQ(red[5], 0x80); // black
    EXPECT_EQ(count, 0);
}

TEST(ColourReduction, TooManyColoursAreQuantisedToTheLimit) {
    std::vector<uint8_t> bgr;
    for (int i = 0; i < 64; ++i)
        bgr.insert(bgr.end(), {static_cast<uint8_t>(i * 4), static_cast<uint8_t>(i), 9});
    WorkImagePtr loaded = trueColour(8, 8, bgr);
    ColourList list = countColours(*loaded, 4);
    EXPECT_EQ(list.size(), 5u);
    PadResult padded = padAndFlipImage(*loaded, 0, 0);
    QuantNetwork network;
    int32_t count = 5;
    WorkImagePtr indexed;
    quiet([&] { indexed = reduceColours(list, *padded.image, network, {false, 4}, count); });
    EXPECT_EQ(count, 4);
    for (int i = 0; i < 64; ++i)
        EXPECT_LT(indexed->pixels[i], 4);
}

} // namespace
