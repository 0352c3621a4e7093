#include "image/NeuQuant.hpp"
#include "image/NeuQuantReference.hpp"

#include <gtest/gtest.h>

#include <new>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

WorkImage makePicture(int32_t width, int32_t height, Bytes bytes) {
    return WorkImage{width, height, 24, std::move(bytes)};
}

Bytes noise(int32_t width, int32_t height, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes bytes(static_cast<size_t>(width) * height * 3);
    for (uint8_t &b : bytes)
        b = static_cast<uint8_t>(rng());
    return bytes;
}

Bytes fewColours(int32_t width, int32_t height, int32_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes colours = noise(count, 1, seed + 1);
    Bytes bytes;
    for (int32_t i = 0; i < width * height; ++i) {
        size_t c = rng() % count;
        bytes.insert(bytes.end(), colours.begin() + 3 * c, colours.begin() + 3 * c + 3);
    }
    return bytes;
}

// Smooth ramps (red a wrapping one) with a little noise.
Bytes gradient(int32_t width, int32_t height, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes bytes;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            int32_t jitter = static_cast<int32_t>(rng() % 9) - 4;
            bytes.push_back(static_cast<uint8_t>(std::clamp(x * 255 / width + jitter, 0, 255)));
            bytes.push_back(static_cast<uint8_t>(std::clamp(y * 255 / height - jitter, 0, 255)));
            bytes.push_back(static_cast<uint8_t>((x + y) * 4 + jitter));
        }
    }
    return bytes;
}

struct Quantised {
    IndexedImage image;
    std::string output;
};

Quantised runFast(const WorkImage &picture, int32_t colours, bool dither) {
    QuantNetwork network;
    testing::internal::CaptureStdout();
    Quantised q{quantiseImage(network, picture, colours, dither), ""};
    q.output = testing::internal::GetCapturedStdout();
    return q;
}

void expectSameAsReference(const WorkImage &picture, int32_t colours, bool dither) {
    SCOPED_TRACE(::testing::Message() << picture.width << "x" << picture.height << " q=" << colours
                                      << " dither=" << dither);
    Quantised fast = runFast(picture, colours, dither);
    reference::Result want =
        reference::quantise(picture.pixels.data(), picture.width, picture.height, colours, dither);
    ASSERT_EQ(Bytes(fast.image.palette.begin(), fast.image.palette.end()), want.palette);
    ASSERT_EQ(fast.image.image.pixels, want.indexes);
}

std::array<uint8_t, 3> paletteColour(const IndexedImage &image, uint8_t index) {
    const Palette &p = image.palette;
    return {p[3 * index], p[3 * index + 1], p[3 * index + 2]};
}

// Red, green, blue of pixel i of a blue, green, red picture.
std::array<uint8_t, 3> pixelColour(const Bytes &bytes, size_t i) {
    return {bytes[3 * i + 2], bytes[3 * i + 1], bytes[3 * i]};
}

int32_t brightness(const std::array<uint8_t, 3> &rgb) {
    return 299 * rgb[0] + 587 * rgb[1] + 114 * rgb[2];
}

TEST(NeuQuantIdentity, EveryColourCountOnSmallPictures) {
    // 8x8 has fewer than 100 pixels, and all are shorter than the sampling step.
    WorkImage pictures[] = {makePicture(8, 8, noise(8, 8, 1)),
                            makePicture(16, 8, fewColours(16, 8, 5, 2)),
                            makePicture(16, 16, gradient(16, 16, 3))};
    for (int32_t q = 2; q <= 256; ++q)
        for (const auto &picture : pictures)
            for (bool dither : {false, true})
                expectSameAsReference(picture, q, dither);
}

TEST(NeuQuantIdentity, LargerPictures) {
    uint32_t seed = 10;
    for (int32_t q : {1, 2, 3, 7, 16, 17, 32, 33, 64, 100, 255, 256, 300}) {
        ++seed;
        for (bool dither : {false, true}) {
            expectSameAsReference(makePicture(64, 64, noise(64, 64, seed)), q, dither);
            expectSameAsReference(makePicture(64, 48, fewColours(64, 48, 40, seed)), q, dither);
            expectSameAsReference(makePicture(40, 64, gradient(40, 64, seed)), q, dither);
        }
    }
}

TEST(NeuQuantIdentity, LengthsDivisibleBySamplingPrimes) {
    // 499 x 8 pixels picks the second step, 499 x 491 the third.
    expectSameAsReference(makePicture(499, 8, gradient(499, 8, 4)), 16, true);
    expectSameAsReference(makePicture(499, 491, gradient(499, 491, 5)), 4, false);
}

TEST(NeuQuantBehaviour, ResultShapeAndMessages) {
    Quantised q = runFast(makePicture(16, 8, noise(16, 8, 6)), 16, false);
    EXPECT_EQ(q.image.image.width, 16);
    EXPECT_EQ(q.image.image.height, 8);
    EXPECT_EQ(q.image.image.bitsPerPixel, 8);
    EXPECT_EQ(q.image.image.pixels.size(), 128u);
    EXPECT_EQ(q.image.colourCount, 16);
    EXPECT_EQ(q.output, "NeuQuant: Running quantiser learning loop.\nNeuQuant: Mapping colors.\n");
}

TEST(NeuQuantBehaviour, RejectsPicturesItCannotRead) {
    QuantNetwork network;
    WorkImage wrongDepth = makePicture(4, 4, Bytes(64, 0));
    wrongDepth.bitsPerPixel = 32;
    EXPECT_THROW(quantiseImage(network, wrongDepth, 16, false), std::bad_alloc);
    EXPECT_THROW(quantiseImage(network, makePicture(8, 8, {}), 16, false), std::bad_alloc);
}

TEST(NeuQuantBehaviour, PaletteHoldsExactlyNEntriesWhenNeuronsCoincide) {
    // One colour pulls the winner and its neighbours onto the same value.
    Bytes bytes;
    for (int32_t i = 0; i < 32 * 32; ++i)
        bytes.insert(bytes.end(), {40, 200, 90});
    Quantised q = runFast(makePicture(32, 32, bytes), 20, false);
    int32_t pairs = 0;
    for (uint8_t i = 0; i < 20; ++i)
        for (uint8_t j = 0; j < i; ++j)
            pairs += paletteColour(q.image, i) == paletteColour(q.image, j);
    ASSERT_GT(pairs, 0);
    for (size_t k = 3 * 20; k < kPaletteBytes; ++k)
        EXPECT_EQ(q.image.palette[k], 0) << k;
    for (uint8_t index : q.image.image.pixels)
        EXPECT_LT(index, 20);
}

TEST(NeuQuantBehaviour, PixelOnPaletteColourMapsToThatColour) {
    Bytes bytes = fewColours(32, 32, 6, 7);
    Quantised q = runFast(makePicture(32, 32, bytes), 8, false);
    int32_t onPalette = 0;
    for (size_t i = 0; i < q.image.image.pixels.size(); ++i) {
        bool found = false;
        for (int32_t k = 0; k < 8; ++k)
            found =
                found || paletteColour(q.image, static_cast<uint8_t>(k)) == pixelColour(bytes, i);
        if (!found)
            continue;
        ++onPalette;
        EXPECT_EQ(paletteColour(q.image, q.image.image.pixels[i]), pixelColour(bytes, i)) << i;
    }
    EXPECT_GT(onPalette, 0);
}

TEST(NeuQuantBehaviour, DitherKeepsColoursThatAreOnThePalette) {
    Bytes bytes;
    for (int32_t i = 0; i < 16 * 16; ++i)
        bytes.insert(bytes.end(), {uint8_t(i % 3 ? 30 : 220), 60, uint8_t(i % 3 ? 20 : 200)});
    Quantised q = runFast(makePicture(16, 16, bytes), 2, true);
    for (size_t i = 0; i < q.image.image.pixels.size(); ++i)
        ASSERT_EQ(paletteColour(q.image, q.image.image.pixels[i]), pixelColour(bytes, i)) << i;
}

TEST(NeuQuantBehaviour, DitherAlternatesBetweenDarkerAndLighterInACheckerboard) {
    // Black and white halves, with a block of grey that lies between the two neurons.
    const int32_t side = 32;
    Bytes bytes;
    for (int32_t y = 0; y < side; ++y) {
        for (int32_t x = 0; x < side; ++x) {
            bool grey = x >= 12 && x < 20 && y >= 12 && y < 20;
            uint8_t v = grey ? 120 : x < side / 2 ? 0 : 255;
            bytes.insert(bytes.end(), {v, v, v});
        }
    }
    Quantised q = runFast(makePicture(side, side, bytes), 2, true);
    const std::array<uint8_t, 3> grey{120, 120, 120};
    int32_t darker = brightness(paletteColour(q.image, 0)) < brightness(grey) ? 0 : 1;
    ASSERT_LT(brightness(paletteColour(q.image, uint8_t(darker))), brightness(grey));
    ASSERT_GT(brightness(paletteColour(q.image, uint8_t(1 - darker))), brightness(grey));
    for (int32_t y = 12; y < 20; ++y)
        for (int32_t x = 12; x < 20; ++x)
            EXPECT_EQ(q.image.image.pixels[y * side + x], (x + y) % 2 ? darker : 1 - darker)
                << x << "," << y;
}

// 16x16 pixels: top half `top`, bottom half `bottom`, and pixel 243 (x 3, y 15,
// sampled second, so training pulls the neurons back onto the halves) `odd`.
// Colours are blue, green, red; with two colours the halves become the palette.
Quantised halvesAndOnePixel(const Bytes &top, const Bytes &bottom, const Bytes &odd) {
    Bytes bytes;
    for (int32_t i = 0; i < 16 * 16; ++i) {
        const Bytes &colour = i == 243 ? odd : i < 128 ? top : bottom;
        bytes.insert(bytes.end(), colour.begin(), colour.end());
    }
    Quantised q = runFast(makePicture(16, 16, bytes), 2, true);
    EXPECT_EQ(paletteColour(q.image, 0), pixelColour(bytes, 0));
    EXPECT_EQ(paletteColour(q.image, 1), pixelColour(bytes, 255));
    return q;
}

TEST(NeuQuantBehaviour, DitherTakesTheNearestWhenNoColourIsDarkerOrLighter) {
    // All three as bright (114 b + 587 g + 299 r = 33688): no candidate at all.
    Quantised q = halvesAndOnePixel({0, 9, 95}, {156, 22, 10}, {7, 0, 110});
    EXPECT_EQ(q.image.image.pixels[243], 0);
}

TEST(NeuQuantBehaviour, DitherCountsEquallyBrightAsNeitherDarkerNorLighter) {
    // The near top colour is as bright as the pixel; only the far one is darker.
    Quantised q = halvesAndOnePixel({0, 9, 95}, {120, 32, 0}, {7, 0, 110});
    EXPECT_EQ(q.image.image.pixels[243], 1);
}

TEST(NeuQuantBehaviour, NeighboursMoveOnlyFromSixteenColours) {
    Bytes bytes = noise(32, 32, 8);
    for (int32_t q = 2; q < 16; ++q)
        EXPECT_EQ(reference::quantise(bytes.data(), 32, 32, q, false).neighbourMoves, 0) << q;
    // Sixteen neurons start with span 2, which falls to 0 at the first adjustment.
    reference::Result sixteen = reference::quantise(bytes.data(), 32, 32, 16, false);
    EXPECT_EQ(sixteen.neighbourMoves, sixteen.interval);
    EXPECT_GT(reference::quantise(bytes.data(), 32, 32, 256, false).neighbourMoves,
              sixteen.interval);
}

} // namespace
