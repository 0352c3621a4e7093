#include "image/ColourReduction.hpp"
#include "common/JobError.hpp"
#include "image/WorkImage.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <random>

namespace {

// A bottom-row-first 24-bit image from blue, green, red triplets.
WorkImage trueColour(int32_t width, int32_t height, const std::vector<uint8_t> &bgr) {
    WorkImage image = makeBlankImage(width, height, 24);
    std::copy(bgr.begin(), bgr.end(), image.pixels.begin());
    return image;
}

std::string failure(const std::function<void()> &step) {
    try {
        step();
    } catch (const JobError &error) {
        return error.message;
    }
    return {};
}

std::string quiet(const std::function<void()> &step) {
    testing::internal::CaptureStdout();
    step();
    return testing::internal::GetCapturedStdout();
}

TEST(Padding, FlipsRowsAndFillsWithTheBackgroundColour) {
    // 13x8 indexed image: index = column, except the bottom-left pixel (row 0 here).
    WorkImage source = makeBlankImage(13, 8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 13; ++x)
            source.pixels[y * 13 + x] = static_cast<uint8_t>(x + 16 * y);
    WorkImage padded;
    std::string out = quiet([&] { padded = padAndFlipImage(viewOf(source), 0, 0); });
    EXPECT_EQ(out, "Warning: Width is not a multiple of 8. Padding to 16 pixels.\n");
    ASSERT_EQ(padded.width, 16);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 13; ++x)
            EXPECT_EQ(padded.pixels[y * 16 + x], x + 16 * (7 - y));
        for (int x = 13; x < 16; ++x)
            EXPECT_EQ(padded.pixels[y * 16 + x], 0); // the picture's bottom-left pixel
    }
    // -bg counts rows from the bottom of the picture.
    quiet([&] { padded = padAndFlipImage(viewOf(source), 2, 1); });
    EXPECT_EQ(padded.pixels[15], 2 + 16);
    std::string error;
    quiet([&] { error = failure([&] { padAndFlipImage(viewOf(source), 13, 0); }); });
    EXPECT_EQ(error, "Error: Background position 13,0 is outside the image.\n");
}

TEST(Padding, WholeTilesAreOnlyFlipped) {
    WorkImage source = makeBlankImage(8, 16, 32);
    for (size_t i = 0; i < pixelBytes(source); ++i)
        source.pixels[i] = static_cast<uint8_t>(i * 7);
    WorkImage padded;
    // A background position outside the image does not matter when nothing is padded.
    EXPECT_EQ(quiet([&] { padded = padAndFlipImage(viewOf(source), 99, 99); }), "");
    for (int y = 0; y < 16; ++y)
        EXPECT_EQ(0, std::memcmp(padded.pixels.data() + y * 32,
                                 source.pixels.data() + (15 - y) * 32, 32));
    EXPECT_EQ(paddedSide(65537), 65544);
}

TEST(ColourCounting, FirstSeenOrderAndStopAfterLimit) {
    // Bottom row first: red, green, red, blue, white.
    WorkImage image = trueColour(5, 1, {0, 0, 255, 0, 255, 0, 0, 0, 255, 255, 0, 0, 255, 255, 255});
    ColourList all = countColours(viewOf(image), 16);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0], 0x0000FFu); // red in byte 0
    EXPECT_EQ(all[2], 0xFF0000u); // blue in byte 2
    EXPECT_EQ(findColour(all, 0xFF0000u), 2);
    EXPECT_EQ(findColour(all, 0x123456u), -1);
    EXPECT_EQ(countColours(viewOf(image), 2).size(), 3u); // stops at the third new colour
}

TEST(ColourReduction, FirstSeenNumberingOfTrueColour) {
    WorkImage loaded = trueColour(8, 8, std::vector<uint8_t>(192, 0));
    loaded.pixels[0] = 200; // one blue pixel at the bottom left
    ColourList list = countColours(viewOf(loaded), 16);
    WorkImage padded = padAndFlipImage(viewOf(loaded), 0, 0);
    QuantNetwork network;
    IndexedImage indexed = reduceColours(list, std::move(padded), Palette{}, network, {false, 16});
    EXPECT_EQ(indexed.colourCount, 2);
    EXPECT_EQ(indexed.image.bitsPerPixel, 8);
    EXPECT_EQ(indexed.image.pixels[56], 0); // the bottom-left pixel is colour 0
    EXPECT_EQ(indexed.image.pixels[0], 1);
    EXPECT_EQ(indexed.palette[2], 200); // red, green, blue order
    EXPECT_EQ(indexed.palette[3], 0);
}

// Numbering while counting gives what counting, padding and numbering give
// one after the other, for every thread count, padding and fill pixel.
TEST(ColourReduction, NumberingWhileCountingMatchesTheStepsApart) {
    std::mt19937 rng(77);
    for (int trial = 0; trial < 300; ++trial) {
        const auto width = static_cast<int32_t>(rng() % 40 + 1);
        const auto height = static_cast<int32_t>(rng() % 40 + 1);
        const int32_t depth = rng() % 2 ? 24 : 32;
        const uint32_t colours = rng() % 24 + 1;
        const int32_t limit = std::array<int32_t, 3>{4, 16, 256}[rng() % 3];
        WorkImage picture = makeBlankImage(width, height, depth);
        for (size_t i = 0; i + 2 < picture.pixels.size(); i += bytesPerPixel(picture)) {
            const uint32_t colour = rng() % colours;
            picture.pixels[i] = static_cast<uint8_t>(colour * 11);
            picture.pixels[i + 2] = static_cast<uint8_t>(colour * 7);
        }
        const PictureView view = viewOf(picture);
        const int32_t bgX = static_cast<int32_t>(rng() % static_cast<uint32_t>(width));
        const int32_t bgY = static_cast<int32_t>(rng() % static_cast<uint32_t>(height));
        const FillRow fillRow = rng() % 2 ? FillRow::FromTop : FillRow::FromBottom;
        const ColourList list = countColours(view, limit);
        IndexedImage apart;
        QuantNetwork network;
        if (list.size() <= static_cast<size_t>(limit))
            quiet([&] {
                apart = reduceColours(list, padAndFlipImage(view, bgX, bgY, fillRow), Palette{},
                                      network, {false, limit});
            });
        for (int32_t threads : {1, 3}) {
            SCOPED_TRACE(testing::Message() << "trial " << trial << " threads " << threads);
            NumberedColours counted =
                countAndNumberColours(view, static_cast<int32_t>(paddedSide(width)),
                                      static_cast<int32_t>(paddedSide(height)), limit, threads);
            ASSERT_EQ(counted.colours, list);
            ASSERT_EQ(counted.numbered.pixels.empty(), list.size() > static_cast<size_t>(limit));
            if (counted.numbered.pixels.empty())
                continue;
            IndexedImage together;
            quiet([&] {
                const Padding padding = planPadding(view, bgX, bgY, fillRow);
                together =
                    numberedImage(list, padNumberedPicture(std::move(counted), view, padding));
            });
            EXPECT_EQ(together.image.pixels, apart.image.pixels);
            EXPECT_EQ(together.image.width, apart.image.width);
            EXPECT_EQ(together.palette, apart.palette);
            EXPECT_EQ(together.colourCount, apart.colourCount);
        }
    }
}

TEST(ColourReduction, IndexedImagesAreRenumberedInPlace) {
    WorkImage loaded = makeBlankImage(8, 8, 8);
    std::fill_n(loaded.pixels.begin(), 64, 3);
    loaded.pixels[0] = 7;
    Palette palette{};
    palette[21] = 10; // entry 7: blue 10, green 20, red 30
    palette[22] = 20;
    palette[23] = 30;
    ColourList list = countColours(viewOf(loaded), 16);
    WorkImage padded = padAndFlipImage(viewOf(loaded), 0, 0);
    const uint8_t *memory = padded.pixels.data();
    QuantNetwork network;
    IndexedImage indexed = reduceColours(list, std::move(padded), palette, network, {false, 16});
    EXPECT_EQ(indexed.image.pixels.data(), memory);
    EXPECT_EQ(indexed.colourCount, 2);
    EXPECT_EQ(indexed.image.pixels[56], 0);
    EXPECT_EQ(indexed.image.pixels[0], 1);
    EXPECT_EQ(indexed.palette[0], 30);
    EXPECT_EQ(indexed.palette[2], 10);
}

TEST(ColourReduction, DirectColourWords) {
    WorkImage loaded = trueColour(8, 8, std::vector<uint8_t>(192, 0));
    loaded.pixels[2] = 255; // pure red
    loaded.pixels[3] = 255; // pure blue
    WorkImage padded = padAndFlipImage(viewOf(loaded), 0, 0);
    QuantNetwork network;
    IndexedImage words = reduceColours({}, std::move(padded), Palette{}, network, {true, 0});
    ASSERT_EQ(words.image.bitsPerPixel, 16);
    const uint8_t *red = words.image.pixels.data() + 2 * 56;
    EXPECT_EQ(red[0], 0x1F);
    EXPECT_EQ(red[1], 0x80);
    EXPECT_EQ(red[2], 0x00);
    EXPECT_EQ(red[3], 0xFC);
    EXPECT_EQ(red[5], 0x80); // black
    EXPECT_EQ(words.colourCount, 0);
}

TEST(ColourReduction, TooManyColoursAreQuantisedToTheLimit) {
    std::vector<uint8_t> bgr;
    for (int i = 0; i < 64; ++i)
        bgr.insert(bgr.end(), {static_cast<uint8_t>(i * 4), static_cast<uint8_t>(i), 9});
    WorkImage loaded = trueColour(8, 8, bgr);
    ColourList list = countColours(viewOf(loaded), 4);
    EXPECT_EQ(list.size(), 5u);
    WorkImage padded = padAndFlipImage(viewOf(loaded), 0, 0);
    QuantNetwork network;
    IndexedImage indexed;
    quiet([&] {
        indexed = reduceColours(list, std::move(padded), Palette{}, network, {false, 4});
    });
    EXPECT_EQ(indexed.colourCount, 4);
    for (int i = 0; i < 64; ++i)
        EXPECT_LT(indexed.image.pixels[i], 4);
}

} // namespace
