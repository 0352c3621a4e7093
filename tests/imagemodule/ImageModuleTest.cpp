// Tests of the image module through its C interface: decoding, resampling and
// saving, with the test images written on the fly.
#include "imagemodule/FormatWriters.hpp"
#include "imagemodule/JpegWriter.hpp"
#include "imagemodule/TestImages.hpp"
#include "morvik_image.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <tuple>
#include <utility>

using namespace testimages;

namespace {

using Bytes = std::vector<uint8_t>;
using ImageHandle = std::unique_ptr<MorvikImage, decltype(&CXI_FreeImage)>;

ImageHandle loadImage(const std::string &path) {
    return ImageHandle(CXI_LoadImage(path.c_str(), 1, 0, 0), &CXI_FreeImage);
}

size_t bytesPerPixel(MorvikImage *image) {
    return static_cast<size_t>(CXI_GetBpp(image) / 8);
}

// All pixel bytes as stored, bottom row first.
Bytes storedBytes(MorvikImage *image) {
    size_t size = static_cast<size_t>(CXI_GetWidth(image)) *
                  static_cast<size_t>(CXI_GetHeight(image)) * bytesPerPixel(image);
    const uint8_t *bits = CXI_GetBits(image);
    return Bytes(bits, bits + size);
}

// The bytes of the pixel at column x of row y, rows counted from the top.
Bytes pixelAt(MorvikImage *image, int x, int y) {
    size_t pixel = bytesPerPixel(image);
    size_t row = static_cast<size_t>(CXI_GetHeight(image) - 1 - y);
    const uint8_t *at =
        CXI_GetBits(image) + (row * static_cast<size_t>(CXI_GetWidth(image)) + x) * pixel;
    return Bytes(at, at + pixel);
}

Bytes paletteBytes(MorvikImage *image) {
    const uint8_t *palette = CXI_GetPalette(image);
    if (palette == nullptr)
        return {};
    return Bytes(palette, palette + CXI_GetPaletteSize(image));
}

// A distinct colour for every position of a small picture.
Rgb colourAt(int x, int y) {
    return Rgb{static_cast<uint8_t>(x * 40 + 10), static_cast<uint8_t>(y * 50 + 20),
               static_cast<uint8_t>((x + y) * 7 + 1)};
}

Bytes bgr(Rgb colour) {
    return {colour.blue, colour.green, colour.red};
}

// Red, green, blue samples of colourAt, top row first.
Bytes rgbSamples(int width, int height) {
    Bytes samples(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t *sample = &samples[(static_cast<size_t>(y) * width + x) * 3];
            sample[0] = colourAt(x, y).red;
            sample[1] = colourAt(x, y).green;
            sample[2] = colourAt(x, y).blue;
        }
    return samples;
}

PngPicture rgbPng(int width, int height) {
    PngPicture picture = makePngPicture(static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                                        PNG_COLOR_TYPE_RGB, 8);
    Bytes samples = rgbSamples(width, height);
    for (int y = 0; y < height; ++y) {
        auto begin = samples.begin() + static_cast<long>(y) * width * 3;
        picture.rows.emplace_back(begin, begin + width * 3);
    }
    return picture;
}

PngPicture uniformPng(int width, int height, int colorType, Bytes pixel) {
    PngPicture picture =
        makePngPicture(static_cast<uint32_t>(width), static_cast<uint32_t>(height), colorType, 8);
    for (int y = 0; y < height; ++y) {
        Bytes row;
        for (int x = 0; x < width; ++x)
            row.insert(row.end(), pixel.begin(), pixel.end());
        picture.rows.push_back(row);
    }
    return picture;
}

// A palette PNG whose index at (x, y) is index(x, y).
template <typename IndexFunction>
PngPicture palettePng(int width, int height, int bitDepth, int entries, IndexFunction index) {
    PngPicture picture = makePngPicture(static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                                        PNG_COLOR_TYPE_PALETTE, bitDepth);
    for (int i = 0; i < entries; ++i)
        picture.palette.push_back(Rgb{static_cast<uint8_t>(i * 3 + 1),
                                      static_cast<uint8_t>(255 - i),
                                      static_cast<uint8_t>(i ^ 0x5A)});
    for (int y = 0; y < height; ++y) {
        Bytes samples;
        for (int x = 0; x < width; ++x)
            samples.push_back(static_cast<uint8_t>(index(x, y)));
        picture.rows.push_back(packSamples(samples, bitDepth));
    }
    return picture;
}

ImageHandle loadPng(const TempDir &dir, const std::string &name, const PngPicture &picture) {
    std::string path = dir.file(name);
    if (!writePng(path, picture))
        return ImageHandle(nullptr, &CXI_FreeImage);
    return loadImage(path);
}

// Writes bytes to a file of the given name and loads it.
ImageHandle loadBytes(const TempDir &dir, const std::string &name, const Bytes &bytes) {
    std::string path = dir.file(name);
    if (!writeFile(path, bytes))
        return ImageHandle(nullptr, &CXI_FreeImage);
    return loadImage(path);
}

void expectSize(MorvikImage *image, int width, int height, int bpp) {
    EXPECT_EQ(CXI_GetWidth(image), width);
    EXPECT_EQ(CXI_GetHeight(image), height);
    EXPECT_EQ(CXI_GetBpp(image), bpp);
}

int nearestSource(int to, int sourceSize, int targetSize) {
    return static_cast<int>((2LL * to + 1) * sourceSize / (2LL * targetSize));
}

// Every pixel of resized equals the source pixel under its centre.
void expectNearestOf(MorvikImage *source, MorvikImage *resized) {
    const int width = CXI_GetWidth(resized);
    const int height = CXI_GetHeight(resized);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(pixelAt(resized, x, y),
                      pixelAt(source, nearestSource(x, CXI_GetWidth(source), width),
                              nearestSource(y, CXI_GetHeight(source), height)))
                << "at " << x << "," << y;
}

void expectAllNear(MorvikImage *image, const Bytes &expected, int tolerance) {
    for (int y = 0; y < CXI_GetHeight(image); ++y)
        for (int x = 0; x < CXI_GetWidth(image); ++x) {
            Bytes pixel = pixelAt(image, x, y);
            ASSERT_EQ(pixel.size(), expected.size());
            for (size_t c = 0; c < pixel.size(); ++c)
                ASSERT_LE(std::abs(pixel[c] - expected[c]), tolerance)
                    << "channel " << c << " at " << x << "," << y;
        }
}

// Rewrites the CRC of the chunk at offset after its data was changed.
void fixChunkCrc(Bytes &png, size_t offset) {
    uint32_t length = (uint32_t{png[offset]} << 24) | (uint32_t{png[offset + 1]} << 16) |
                      (uint32_t{png[offset + 2]} << 8) | png[offset + 3];
    uint32_t crc = pngCrc(&png[offset + 4], 4 + size_t{length}) ^ 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i)
        png[offset + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
}

template <typename Action> double secondsFor(Action action) {
    auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

// ---------------------------------------------------------------------------
// PNG decoding

TEST(ImageModulePng, PaletteDepthsGiveOneIndexPerPixel) {
    TempDir dir;
    for (int depth : {1, 2, 4, 8}) {
        SCOPED_TRACE(depth);
        const int entries = depth == 8 ? 200 : 1 << depth;
        auto index = [&](int x, int y) { return (x * 5 + y * 3) % entries; };
        PngPicture picture = palettePng(7, 3, depth, entries, index);
        ImageHandle image = loadPng(dir, "palette.png", picture);
        ASSERT_TRUE(image);
        expectSize(image.get(), 7, 3, 8);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 7; ++x)
                EXPECT_EQ(pixelAt(image.get(), x, y), Bytes{static_cast<uint8_t>(index(x, y))});
        ASSERT_EQ(CXI_GetPaletteSize(image.get()), entries * 4);
        const uint8_t *palette = CXI_GetPalette(image.get());
        ASSERT_NE(palette, nullptr);
        for (int i = 0; i < entries; ++i) {
            const Rgb &entry = picture.palette[static_cast<size_t>(i)];
            EXPECT_EQ(Bytes(palette + 4 * i, palette + 4 * i + 4),
                      (Bytes{entry.blue, entry.green, entry.red, 0}));
        }
        // The buffer always holds 256 entries; the unused ones are zero.
        EXPECT_EQ(std::count(palette + entries * 4, palette + 1024, 0), 1024 - entries * 4);
    }
}

TEST(ImageModulePng, IndexBeyondPaletteIsRefused) {
    // A palette shorter than the indexes: there is no colour to give those pixels.
    TempDir dir;
    for (int depth : {1, 2, 4, 8}) {
        SCOPED_TRACE(depth);
        const int entries = depth == 1 ? 1 : (1 << depth) - 1;
        PngPicture inside =
            palettePng(5, 2, depth, entries, [&](int x, int y) { return (x + y) % entries; });
        EXPECT_TRUE(loadPng(dir, "inside.png", inside));
        PngPicture beyond = palettePng(
            5, 2, depth, entries, [&](int x, int y) { return x == 4 && y == 1 ? entries : 0; });
        EXPECT_FALSE(loadPng(dir, "beyond.png", beyond));
    }
}

TEST(ImageModulePng, GreyDepthsExpandToFullRangeBgr) {
    TempDir dir;
    for (int depth : {1, 2, 4, 8}) {
        SCOPED_TRACE(depth);
        const int maximum = (1 << depth) - 1;
        auto sample = [&](int x, int y) { return (x * 3 + y) % (maximum + 1); };
        PngPicture picture = makePngPicture(9, 2, PNG_COLOR_TYPE_GRAY, depth);
        for (int y = 0; y < 2; ++y) {
            Bytes samples;
            for (int x = 0; x < 9; ++x)
                samples.push_back(static_cast<uint8_t>(sample(x, y)));
            picture.rows.push_back(packSamples(samples, depth));
        }
        ImageHandle image = loadPng(dir, "grey.png", picture);
        ASSERT_TRUE(image);
        expectSize(image.get(), 9, 2, 24);
        EXPECT_EQ(CXI_GetPaletteSize(image.get()), 0);
        EXPECT_EQ(CXI_GetPalette(image.get()), nullptr);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 9; ++x) {
                auto grey = static_cast<uint8_t>(sample(x, y) * 255 / maximum);
                EXPECT_EQ(pixelAt(image.get(), x, y), (Bytes{grey, grey, grey}));
            }
    }
}

TEST(ImageModulePng, SixteenBitGreyKeepsHighByte) {
    TempDir dir;
    PngPicture picture = makePngPicture(2, 1, PNG_COLOR_TYPE_GRAY, 16);
    picture.rows.push_back({0x12, 0xFF, 0xFE, 0x80});
    ImageHandle image = loadPng(dir, "grey16.png", picture);
    ASSERT_TRUE(image);
    expectSize(image.get(), 2, 1, 24);
    EXPECT_EQ(storedBytes(image.get()), (Bytes{0x12, 0x12, 0x12, 0xFE, 0xFE, 0xFE}));
}

TEST(ImageModulePng, GreyAlphaGivesThirtyTwoBits) {
    TempDir dir;
    PngPicture picture = makePngPicture(2, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 8);
    picture.rows = {{10, 200, 20, 0}, {30, 255, 40, 77}};
    ImageHandle image = loadPng(dir, "greyalpha.png", picture);
    ASSERT_TRUE(image);
    expectSize(image.get(), 2, 2, 32);
    EXPECT_EQ(pixelAt(image.get(), 0, 0), (Bytes{10, 10, 10, 200}));
    EXPECT_EQ(pixelAt(image.get(), 1, 0), (Bytes{20, 20, 20, 0}));
    EXPECT_EQ(pixelAt(image.get(), 0, 1), (Bytes{30, 30, 30, 255}));
    EXPECT_EQ(pixelAt(image.get(), 1, 1), (Bytes{40, 40, 40, 77}));
}

TEST(ImageModulePng, RgbIsStoredBottomRowFirstAsBgr) {
    TempDir dir;
    ImageHandle image = loadPng(dir, "rgb.png", rgbPng(2, 3));
    ASSERT_TRUE(image);
    expectSize(image.get(), 2, 3, 24);
    // Written out in full so that the layout itself is checked, not a helper.
    Bytes expected;
    for (int y = 2; y >= 0; --y)
        for (int x = 0; x < 2; ++x) {
            Rgb colour = colourAt(x, y);
            expected.insert(expected.end(), {colour.blue, colour.green, colour.red});
        }
    EXPECT_EQ(storedBytes(image.get()), expected);
    EXPECT_EQ(CXI_GetBits(image.get())[0], colourAt(0, 2).blue);
    EXPECT_EQ(CXI_GetBits(image.get())[2], colourAt(0, 2).red);
}

TEST(ImageModulePng, RgbaGivesBgra) {
    TempDir dir;
    PngPicture picture = makePngPicture(3, 2, PNG_COLOR_TYPE_RGB_ALPHA, 8);
    picture.rows = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
                    {13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}};
    ImageHandle image = loadPng(dir, "rgba.png", picture);
    ASSERT_TRUE(image);
    expectSize(image.get(), 3, 2, 32);
    EXPECT_EQ(storedBytes(image.get()), (Bytes{15, 14, 13, 16, 19, 18, 17, 20, 23, 22, 21, 24,
                                               3,  2,  1,  4,  7,  6,  5,  8,  11, 10, 9,  12}));
}

TEST(ImageModulePng, SixteenBitColourKeepsHighByte) {
    TempDir dir;
    PngPicture rgb = makePngPicture(1, 1, PNG_COLOR_TYPE_RGB, 16);
    rgb.rows = {{0x12, 0xFF, 0x80, 0x80, 0xFE, 0xFF}};
    ImageHandle image = loadPng(dir, "rgb16.png", rgb);
    ASSERT_TRUE(image);
    expectSize(image.get(), 1, 1, 24);
    EXPECT_EQ(storedBytes(image.get()), (Bytes{0xFE, 0x80, 0x12}));

    PngPicture rgba = makePngPicture(1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16);
    rgba.rows = {{0x01, 0xFF, 0x02, 0xFF, 0x03, 0xFF, 0x7F, 0xFF}};
    image = loadPng(dir, "rgba16.png", rgba);
    ASSERT_TRUE(image);
    expectSize(image.get(), 1, 1, 32);
    EXPECT_EQ(storedBytes(image.get()), (Bytes{0x03, 0x02, 0x01, 0x7F}));
}

TEST(ImageModulePng, InterlacedEqualsPlain) {
    TempDir dir;
    std::vector<PngPicture> pictures = {
        rgbPng(13, 11), palettePng(9, 7, 4, 16, [](int x, int y) { return (x * y + x) % 16; }),
        palettePng(10, 5, 1, 2, [](int x, int y) { return (x + y) % 2; })};
    PngPicture greyAlpha = makePngPicture(6, 9, PNG_COLOR_TYPE_GRAY_ALPHA);
    for (int y = 0; y < 9; ++y) {
        Bytes row;
        for (int x = 0; x < 6; ++x)
            row.insert(row.end(), {static_cast<uint8_t>(x * 30), static_cast<uint8_t>(y * 20)});
        greyAlpha.rows.push_back(row);
    }
    pictures.push_back(greyAlpha);
    for (size_t i = 0; i < pictures.size(); ++i) {
        SCOPED_TRACE(i);
        ImageHandle plain = loadPng(dir, "plain.png", pictures[i]);
        pictures[i].interlaced = true;
        ImageHandle interlaced = loadPng(dir, "interlaced.png", pictures[i]);
        ASSERT_TRUE(plain);
        ASSERT_TRUE(interlaced);
        expectSize(interlaced.get(), CXI_GetWidth(plain.get()), CXI_GetHeight(plain.get()),
                   CXI_GetBpp(plain.get()));
        EXPECT_EQ(storedBytes(interlaced.get()), storedBytes(plain.get()));
        EXPECT_EQ(paletteBytes(interlaced.get()), paletteBytes(plain.get()));
    }
}

TEST(ImageModulePng, TransparencyChunkIsIgnored) {
    TempDir dir;
    PngPicture palette = palettePng(2, 1, 8, 3, [](int x, int) { return x; });
    palette.paletteAlpha = {0, 128, 255};
    ImageHandle image = loadPng(dir, "trns-palette.png", palette);
    ASSERT_TRUE(image);
    expectSize(image.get(), 2, 1, 8);
    EXPECT_EQ(paletteBytes(image.get())[3], 0);
    EXPECT_EQ(paletteBytes(image.get())[7], 0);

    PngPicture rgb = rgbPng(2, 2);
    rgb.transparentColour = true;
    rgb.transparent.red = colourAt(0, 0).red;
    rgb.transparent.green = colourAt(0, 0).green;
    rgb.transparent.blue = colourAt(0, 0).blue;
    image = loadPng(dir, "trns-rgb.png", rgb);
    ASSERT_TRUE(image);
    expectSize(image.get(), 2, 2, 24);
    EXPECT_EQ(pixelAt(image.get(), 0, 0), bgr(colourAt(0, 0)));

    PngPicture grey = uniformPng(2, 2, PNG_COLOR_TYPE_GRAY, {90});
    grey.transparentColour = true;
    grey.transparent.gray = 90;
    image = loadPng(dir, "trns-grey.png", grey);
    ASSERT_TRUE(image);
    expectSize(image.get(), 2, 2, 24);
    EXPECT_EQ(pixelAt(image.get(), 1, 1), (Bytes{90, 90, 90}));
}

// ---------------------------------------------------------------------------
// The other formats

TEST(ImageModuleFormats, Bmp24IsStoredBottomRowFirstAsBgr) {
    TempDir dir;
    // Width 3 gives rows of 9 bytes, padded to 12 in the file.
    ASSERT_TRUE(writeBmp24(dir.file("rgb.bmp"), 3, 2, rgbSamples(3, 2)));
    ImageHandle image = loadImage(dir.file("rgb.bmp"));
    ASSERT_TRUE(image);
    expectSize(image.get(), 3, 2, 24);
    Bytes expected;
    for (int y = 1; y >= 0; --y)
        for (int x = 0; x < 3; ++x) {
            Bytes pixel = bgr(colourAt(x, y));
            expected.insert(expected.end(), pixel.begin(), pixel.end());
        }
    EXPECT_EQ(storedBytes(image.get()), expected);
    EXPECT_EQ(CXI_GetPalette(image.get()), nullptr);
}

TEST(ImageModuleFormats, TopDownBmpGivesTheSamePicture) {
    TempDir dir;
    for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        BmpPicture picture;
        picture.width = 5;
        picture.height = 3;
        picture.bitsPerPixel = bits;
        if (bits <= 8)
            picture.palette = {{10, 20, 30}, {40, 50, 60}};
        for (int i = 0; i < 15; ++i)
            picture.pixels.push_back(bits <= 8 ? (i / 5 == 0 ? 1 : 0)
                                               : 0x11223344u * static_cast<uint32_t>(i + 1) &
                                                     (bits == 16 ? 0x7FFF : 0xFFFFFFFF));
        ImageHandle bottomUp = loadBytes(dir, "bottom-up.bmp", encodeBmp(picture));
        picture.topDown = true;
        ImageHandle topDown = loadBytes(dir, "top-down.bmp", encodeBmp(picture));
        ASSERT_TRUE(bottomUp);
        ASSERT_TRUE(topDown);
        expectSize(topDown.get(), 5, 3, CXI_GetBpp(bottomUp.get()));
        EXPECT_EQ(storedBytes(topDown.get()), storedBytes(bottomUp.get()));
    }
    // The first stored row is the top one.
    BmpPicture rows;
    rows.width = 1;
    rows.height = 2;
    rows.topDown = true;
    rows.pixels = {0x0000FF, 0x00FF00};
    ImageHandle image = loadBytes(dir, "rows.bmp", encodeBmp(rows));
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(image.get(), 0, 0), (Bytes{0xFF, 0, 0}));
    EXPECT_EQ(pixelAt(image.get(), 0, 1), (Bytes{0, 0xFF, 0}));
}

TEST(ImageModuleFormats, GifGivesOpaqueBgra) {
    TempDir dir;
    const std::vector<Rgb> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
    ASSERT_TRUE(writeGif(dir.file("small.gif"), 3, 2, palette, {0, 1, 2, 3, 3, 0}));
    ImageHandle image = loadImage(dir.file("small.gif"));
    ASSERT_TRUE(image);
    expectSize(image.get(), 3, 2, 32);
    EXPECT_EQ(pixelAt(image.get(), 0, 0), (Bytes{0, 0, 255, 255}));
    EXPECT_EQ(pixelAt(image.get(), 1, 0), (Bytes{0, 255, 0, 255}));
    EXPECT_EQ(pixelAt(image.get(), 2, 0), (Bytes{255, 0, 0, 255}));
    EXPECT_EQ(pixelAt(image.get(), 0, 1), (Bytes{30, 20, 10, 255}));
    EXPECT_EQ(pixelAt(image.get(), 2, 1), (Bytes{0, 0, 255, 255}));
}

TEST(ImageModuleFormats, GifWithManyClearCodesDecodesEveryPixel) {
    TempDir dir;
    for (int colours : {16, 256}) {
        SCOPED_TRACE(colours);
        std::vector<Rgb> palette;
        for (int i = 0; i < colours; ++i)
            palette.push_back(Rgb{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                  static_cast<uint8_t>(i * 7)});
        auto index = [&](int x, int y) { return (x * 7 + y * 3) % colours; };
        Bytes indices;
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x)
                indices.push_back(static_cast<uint8_t>(index(x, y)));
        ASSERT_TRUE(writeGif(dir.file("many.gif"), 37, 23, palette, indices));
        ImageHandle image = loadImage(dir.file("many.gif"));
        ASSERT_TRUE(image);
        expectSize(image.get(), 37, 23, 32);
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x) {
                const Rgb &colour = palette[static_cast<size_t>(index(x, y))];
                ASSERT_EQ(pixelAt(image.get(), x, y),
                          (Bytes{colour.blue, colour.green, colour.red, 255}));
            }
    }
}

TEST(ImageModuleFormats, PnmGreyAndColourGiveTwentyFourBits) {
    TempDir dir;
    ASSERT_TRUE(writePnm(dir.file("grey.pgm"), 3, 2, 1, {0, 50, 100, 150, 200, 250}));
    ImageHandle grey = loadImage(dir.file("grey.pgm"));
    ASSERT_TRUE(grey);
    expectSize(grey.get(), 3, 2, 24);
    EXPECT_EQ(storedBytes(grey.get()), (Bytes{150, 150, 150, 200, 200, 200, 250, 250, 250, 0, 0, 0,
                                              50, 50, 50, 100, 100, 100}));

    ASSERT_TRUE(writePnm(dir.file("colour.ppm"), 2, 2, 3, rgbSamples(2, 2)));
    ImageHandle colour = loadImage(dir.file("colour.ppm"));
    ASSERT_TRUE(colour);
    expectSize(colour.get(), 2, 2, 24);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(pixelAt(colour.get(), x, y), bgr(colourAt(x, y)));
}

TEST(ImageModuleFormats, SixteenBitPnmKeepsHighByte) {
    TempDir dir;
    // Grey samples 0x1234 and 0xABCD; then red, green, blue 0x0102, 0x8384, 0xFFFE.
    const std::string greyHeader = "P5 2 1 # a comment\n65535\n";
    Bytes grey(greyHeader.begin(), greyHeader.end());
    grey.insert(grey.end(), {0x12, 0x34, 0xAB, 0xCD});
    ImageHandle greyImage = loadBytes(dir, "grey16.pgm", grey);
    ASSERT_TRUE(greyImage);
    expectSize(greyImage.get(), 2, 1, 24);
    EXPECT_EQ(storedBytes(greyImage.get()), (Bytes{0x12, 0x12, 0x12, 0xAB, 0xAB, 0xAB}));

    const std::string colourHeader = "P6\n1 1\n1000\n";
    Bytes colour(colourHeader.begin(), colourHeader.end());
    colour.insert(colour.end(), {0x01, 0x02, 0x83, 0x84, 0xFF, 0xFE});
    ImageHandle colourImage = loadBytes(dir, "colour16.ppm", colour);
    ASSERT_TRUE(colourImage);
    expectSize(colourImage.get(), 1, 1, 24);
    EXPECT_EQ(storedBytes(colourImage.get()), (Bytes{0xFF, 0x83, 0x01}));
}

// ---------------------------------------------------------------------------
// Files that must be refused

TEST(ImageModuleBroken, MissingEmptyTextAndDirectoryGiveNull) {
    TempDir dir;
    EXPECT_FALSE(loadImage(dir.file("missing.png")));
    EXPECT_FALSE(CXI_LoadImage(nullptr, 1, 0, 0));
    EXPECT_FALSE(loadBytes(dir, "empty.png", {}));
    EXPECT_FALSE(loadBytes(dir, "empty.bmp", {}));
    const std::string text = "This is a text file, not a picture.\n";
    EXPECT_FALSE(loadBytes(dir, "text.png", Bytes(text.begin(), text.end())));
    EXPECT_FALSE(loadBytes(dir, "signature.png", pngSignature()));
    EXPECT_FALSE(loadImage(dir.path.string()));
    std::filesystem::create_directory(dir.file("folder.png"));
    EXPECT_FALSE(loadImage(dir.file("folder.png")));
}

TEST(ImageModuleBroken, TruncatedPngGivesNull) {
    TempDir dir;
    for (const PngPicture &picture :
         {rgbPng(16, 16), palettePng(16, 16, 4, 16, [](int x, int y) { return (x ^ y) % 16; })}) {
        Bytes whole = encodePng(picture);
        ASSERT_FALSE(whole.empty());
        ASSERT_TRUE(loadBytes(dir, "whole.png", whole));
        const size_t size = whole.size();
        for (size_t length : {size_t{1}, size_t{8}, size_t{12}, size_t{20}, size_t{33}, size_t{45},
                              size / 2, size - 13, size - 12, size - 4, size - 1}) {
            SCOPED_TRACE(length);
            EXPECT_FALSE(loadBytes(
                dir, "cut.png", Bytes(whole.begin(), whole.begin() + static_cast<long>(length))));
        }
    }
}

TEST(ImageModuleBroken, CorruptPngGivesNull) {
    TempDir dir;
    const Bytes whole = encodePng(rgbPng(8, 8));
    for (const char *chunk : {"IHDR", "IDAT"}) {
        SCOPED_TRACE(chunk);
        Bytes wrongCrc = whole;
        size_t offset = findPngChunk(wrongCrc, chunk);
        ASSERT_NE(offset, std::string::npos);
        size_t length = (size_t{wrongCrc[offset + 2]} << 8) | wrongCrc[offset + 3];
        wrongCrc[offset + 8 + length + 3] ^= 0x01;
        EXPECT_FALSE(loadBytes(dir, "crc.png", wrongCrc));
    }
    // A broken compressed stream with a correct CRC.
    Bytes badStream = whole;
    size_t idat = findPngChunk(badStream, "IDAT");
    badStream[idat + 8] = 0xFF;
    fixChunkCrc(badStream, idat);
    EXPECT_FALSE(loadBytes(dir, "stream.png", badStream));
    // A palette image without its palette.
    Bytes noPalette = pngSignature();
    for (const Bytes &chunk :
         {pngChunk("IHDR", pngHeaderData(1, 1, 8, PNG_COLOR_TYPE_PALETTE)),
          pngChunk("IDAT", {0x78, 0x9C, 0x63, 0x60, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01}),
          pngChunk("IEND", {})})
        noPalette.insert(noPalette.end(), chunk.begin(), chunk.end());
    EXPECT_FALSE(loadBytes(dir, "noplte.png", noPalette));
}

TEST(ImageModuleBroken, AncillaryChunksAreSkippedWhateverTheirLength) {
    TempDir dir;
    const Bytes whole = encodePng(rgbPng(3, 2));
    ImageHandle clean = loadBytes(dir, "clean.png", whole);
    ASSERT_TRUE(clean);
    const size_t idat = findPngChunk(whole, "IDAT");
    for (const char *type : {"tEXt", "zTXt", "iTXt", "sPLT", "iCCP", "eXIf"}) {
        SCOPED_TRACE(type);
        // A chunk of 200 KiB is read past; the picture is the same.
        Bytes withChunk = whole;
        const Bytes chunk = pngChunk(type, Bytes(200 << 10, 'a'));
        withChunk.insert(withChunk.begin() + static_cast<long>(idat), chunk.begin(), chunk.end());
        ImageHandle image = loadBytes(dir, "chunk.png", withChunk);
        ASSERT_TRUE(image);
        EXPECT_EQ(storedBytes(image.get()), storedBytes(clean.get()));
        // One claiming 2 GiB where the file ends is refused at once.
        Bytes claim = whole;
        Bytes huge = pngChunk(type, {'k', 0, 'v'});
        storeBe32(huge.data(), 0x7FFFFFFF);
        claim.insert(claim.begin() + static_cast<long>(idat), huge.begin(), huge.end());
        double seconds = secondsFor([&] { EXPECT_FALSE(loadBytes(dir, "claim.png", claim)); });
        EXPECT_LT(seconds, 0.2);
    }
}

TEST(ImageModuleBroken, LyingPngHeaderIsRefusedQuickly) {
    TempDir dir;
    struct Claim {
        uint32_t width, height;
        uint8_t colorType;
    };
    // Sides above the limit, then sides within it but far over the memory limit.
    for (Claim claim :
         {Claim{100000, 100000, PNG_COLOR_TYPE_RGB}, Claim{65536, 1, PNG_COLOR_TYPE_GRAY},
          Claim{60000, 60000, PNG_COLOR_TYPE_RGB_ALPHA},
          Claim{65535, 65535, PNG_COLOR_TYPE_PALETTE}}) {
        SCOPED_TRACE(claim.width);
        Bytes png = pngSignature();
        for (const Bytes &chunk :
             {pngChunk("IHDR", pngHeaderData(claim.width, claim.height, 8, claim.colorType)),
              pngChunk("PLTE", {0, 0, 0}), pngChunk("IDAT", {0x78, 0x9C, 0x63, 0x60}),
              pngChunk("IEND", {})})
            png.insert(png.end(), chunk.begin(), chunk.end());
        double seconds = secondsFor([&] { EXPECT_FALSE(loadBytes(dir, "huge.png", png)); });
        EXPECT_LT(seconds, 1.0);
    }
}

TEST(ImageModuleBroken, LyingBmpHeaderIsRefusedQuickly) {
    TempDir dir;
    const Bytes small = encodeBmp24(2, 2, rgbSamples(2, 2));
    for (std::pair<uint32_t, uint32_t> size :
         {std::pair<uint32_t, uint32_t>{30000, 30000}, {70000, 1}, {1, 70000}}) {
        SCOPED_TRACE(size.first);
        Bytes bmp = small;
        for (int i = 0; i < 4; ++i) {
            bmp[18 + i] = static_cast<uint8_t>(size.first >> (8 * i));
            bmp[22 + i] = static_cast<uint8_t>(size.second >> (8 * i));
        }
        double seconds = secondsFor([&] { EXPECT_FALSE(loadBytes(dir, "huge.bmp", bmp)); });
        EXPECT_LT(seconds, 1.0);
    }
}

TEST(ImageModuleBroken, LyingTgaHeaderIsRefusedQuickly) {
    // A run-length TGA header alone, declaring 64763 x 2080 pixels: within the
    // side and memory limits, but no file of 18 bytes holds them: refused before
    // they are allocated.
    TempDir dir;
    const Bytes tga = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFB, 0xFC, 0x20, 0x08, 24, 0x20};
    double seconds = secondsFor([&] { EXPECT_FALSE(loadBytes(dir, "huge.tga", tga)); });
    EXPECT_LT(seconds, 1.0);
}

TEST(ImageModuleBroken, PnmCutShortIsRefused) {
    // Every length short of the samples the header declares, cut headers included.
    TempDir dir;
    const std::string header8 = "P6 3 2 255\n";
    Bytes whole8(header8.begin(), header8.end());
    whole8.resize(whole8.size() + 3 * 2 * 3, 0x5A);
    const std::string header16 = "P5\n# 16-bit grey\n3 2\n65535\n";
    Bytes whole16(header16.begin(), header16.end());
    whole16.resize(whole16.size() + 3 * 2 * 2, 0xA5);
    for (const Bytes &whole : {whole8, whole16}) {
        EXPECT_TRUE(loadBytes(dir, "whole.pnm", whole));
        for (size_t length = 0; length < whole.size(); ++length) {
            SCOPED_TRACE(length);
            EXPECT_FALSE(loadBytes(
                dir, "cut.pnm", Bytes(whole.begin(), whole.begin() + static_cast<long>(length))));
        }
    }
}

// A file of every format the module reads, with the number of bytes at its end
// that no pixel needs (a BMP's last row padding, a GIF's trailer).
std::vector<std::tuple<std::string, Bytes, size_t>> wholeFiles() {
    BmpPicture bmp;
    bmp.width = 5;
    bmp.height = 3;
    bmp.bitsPerPixel = 8;
    bmp.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    bmp.pixels.assign(15, 2);
    TgaPicture tga;
    tga.imageType = 10;
    tga.width = 6;
    tga.height = 2;
    tga.pixels = rgbSamples(6, 2);
    PsdPicture psd;
    psd.width = 4;
    psd.height = 2;
    psd.runLength = true;
    psd.planes.assign(3, Bytes(8, 0x33));
    JpegOptions progressive;
    progressive.progressive = true;
    const std::string pnm = "P6 3 2 255\n";
    Bytes pnmBytes(pnm.begin(), pnm.end());
    const Bytes samples = rgbSamples(3, 2);
    pnmBytes.insert(pnmBytes.end(), samples.begin(), samples.end());
    return {
        {"cut.png", encodePng(rgbPng(6, 4)), 0},
        {"cut.bmp", encodeBmp(bmp), 3},
        {"cut.tga", encodeTga(tga), 0},
        {"cut.psd", encodePsd(psd), 0},
        {"cut.gif", encodeGif(12, 5, {{1, 2, 3}, {4, 5, 6}}, Bytes(60, 1)), 1},
        {"cut.jpg", encodeJpeg(rgbSamples(16, 16), 16, 16), 0},
        {"cut-progressive.jpg", encodeJpeg(rgbSamples(16, 16), 16, 16, progressive), 0},
        {"cut.ppm", pnmBytes, 0},
    };
}

TEST(ImageModuleBroken, DataEndingEarlyIsRefused) {
    // Nothing is made up for the missing part of a picture.
    TempDir dir;
    for (const auto &[name, whole, optional] : wholeFiles()) {
        ASSERT_FALSE(whole.empty()) << name;
        ASSERT_TRUE(loadBytes(dir, name, whole)) << name;
        for (size_t length = 1; length < whole.size(); ++length) {
            SCOPED_TRACE(name + " cut at " + std::to_string(length));
            ImageHandle image = loadBytes(
                dir, name, Bytes(whole.begin(), whole.begin() + static_cast<long>(length)));
            EXPECT_EQ(static_cast<bool>(image), length >= whole.size() - optional);
        }
    }
}

TEST(ImageModuleBroken, IndexesPastThePaletteAreRefused) {
    TempDir dir;
    BmpPicture bmp;
    bmp.width = 3;
    bmp.height = 2;
    bmp.bitsPerPixel = 8;
    bmp.palette = {{1, 2, 3}, {4, 5, 6}};
    bmp.pixels = {0, 1, 1, 0, 1, 0};
    EXPECT_TRUE(loadBytes(dir, "inside.bmp", encodeBmp(bmp)));
    bmp.pixels[4] = 2;
    EXPECT_FALSE(loadBytes(dir, "beyond.bmp", encodeBmp(bmp)));

    TgaPicture tga;
    tga.imageType = 1;
    tga.bitsPerPixel = 8;
    tga.width = 3;
    tga.height = 1;
    tga.mapFirst = 4;
    tga.mapEntryBits = 24;
    tga.map = {1, 2, 3, 4, 5, 6};
    for (const auto &[indexes, loads] : std::vector<std::pair<Bytes, bool>>{
             {{4, 5, 4}, true}, {{4, 6, 4}, false}, {{3, 4, 5}, false}}) {
        tga.pixels = indexes;
        EXPECT_EQ(static_cast<bool>(loadBytes(dir, "mapped.tga", encodeTga(tga))), loads)
            << int{indexes[1]};
        tga.imageType = 9;
        EXPECT_EQ(static_cast<bool>(loadBytes(dir, "mapped-rle.tga", encodeTga(tga))), loads)
            << int{indexes[1]};
        tga.imageType = 1;
    }

    GifPicture gif;
    gif.screenWidth = gif.width = 3;
    gif.screenHeight = gif.height = 1;
    gif.globalTable = {{1, 2, 3}, {4, 5, 6}};
    gif.indices = {0, 1, 0};
    EXPECT_TRUE(loadBytes(dir, "inside.gif", encodeGifPicture(gif)));
    gif.indices = {0, 2, 0};
    EXPECT_FALSE(loadBytes(dir, "beyond.gif", encodeGifPicture(gif)));
}

TEST(ImageModuleBroken, HeadersThatOverflowAreRefused) {
    TempDir dir;
    // Numbers past any integer type in a PNM header.
    for (const std::string header : {"P5\n99999999999 2\n255\n", "P6 2 99999999999999999999 255\n",
                                     "P5 2 2 99999999999\n", "P5 65536 1 255\n"}) {
        SCOPED_TRACE(header);
        Bytes file(header.begin(), header.end());
        file.resize(file.size() + 64, 7);
        EXPECT_FALSE(loadBytes(dir, "overflow.pgm", file));
    }
    // A Huffman table whose code counts add up to 4080 codes, not at most 256.
    Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x13, 0x00};
    jpeg.resize(jpeg.size() + 16, 0xFF);
    jpeg.insert(jpeg.end(), {0xFF, 0xD9});
    EXPECT_FALSE(loadBytes(dir, "huffman.jpg", jpeg));
}

// ---------------------------------------------------------------------------
// Resizing

TEST(ImageModuleResize, NearestTakesThePixelUnderEachCentre) {
    TempDir dir;
    ASSERT_TRUE(writePng(dir.file("source.png"), rgbPng(5, 3)));
    ImageHandle source = loadImage(dir.file("source.png"));
    ASSERT_TRUE(source);
    for (std::pair<int, int> size :
         {std::pair<int, int>{5, 3}, {10, 6}, {7, 5}, {2, 2}, {1, 1}, {3, 7}, {13, 2}, {4, 1}}) {
        SCOPED_TRACE(std::to_string(size.first) + "x" + std::to_string(size.second));
        ImageHandle image = loadImage(dir.file("source.png"));
        ASSERT_EQ(CXI_Resize(image.get(), size.first, size.second, 1), 1);
        expectSize(image.get(), size.first, size.second, 24);
        expectNearestOf(source.get(), image.get());
    }
}

TEST(ImageModuleResize, NearestPicksKnownRowsAndColumns) {
    TempDir dir;
    // Four columns down to two: columns 1 and 3.
    ImageHandle image = loadPng(dir, "row.png", rgbPng(4, 1));
    ASSERT_EQ(CXI_Resize(image.get(), 2, 1, 1), 1);
    EXPECT_EQ(pixelAt(image.get(), 0, 0), bgr(colourAt(1, 0)));
    EXPECT_EQ(pixelAt(image.get(), 1, 0), bgr(colourAt(3, 0)));
    // Two columns up to five: 0, 0, 1, 1, 1.
    image = loadPng(dir, "pair.png", rgbPng(2, 1));
    ASSERT_EQ(CXI_Resize(image.get(), 5, 1, 1), 1);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(pixelAt(image.get(), x, 0), bgr(colourAt(x < 2 ? 0 : 1, 0)));
    // Four rows down to two, counted from the top: rows 1 and 3.
    image = loadPng(dir, "column.png", rgbPng(1, 4));
    ASSERT_EQ(CXI_Resize(image.get(), 1, 2, 1), 1);
    EXPECT_EQ(storedBytes(image.get()), []() {
        Bytes bottomFirst = bgr(colourAt(0, 3));
        Bytes top = bgr(colourAt(0, 1));
        bottomFirst.insert(bottomFirst.end(), top.begin(), top.end());
        return bottomFirst;
    }());
    // Three rows up to four, from the top: 0, 1, 1, 2.
    image = loadPng(dir, "three.png", rgbPng(1, 3));
    ASSERT_EQ(CXI_Resize(image.get(), 1, 4, 1), 1);
    const int rows[] = {0, 1, 1, 2};
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(pixelAt(image.get(), 0, y), bgr(colourAt(0, rows[y])));
}

TEST(ImageModuleResize, NearestKeepsPaletteAndAlpha) {
    TempDir dir;
    PngPicture picture = palettePng(6, 4, 4, 10, [](int x, int y) { return (x + 3 * y) % 10; });
    ImageHandle source = loadPng(dir, "palette.png", picture);
    ImageHandle image = loadPng(dir, "palette.png", picture);
    ASSERT_TRUE(image);
    ASSERT_EQ(CXI_Resize(image.get(), 9, 2, 1), 1);
    expectSize(image.get(), 9, 2, 8);
    EXPECT_EQ(CXI_GetPaletteSize(image.get()), 40);
    EXPECT_EQ(paletteBytes(image.get()), paletteBytes(source.get()));
    expectNearestOf(source.get(), image.get());

    PngPicture rgba = makePngPicture(3, 3, PNG_COLOR_TYPE_RGB_ALPHA);
    for (uint8_t y = 0; y < 3; ++y)
        rgba.rows.push_back({1, 2, y, 10, 4, 5, y, 20, 7, 8, y, 30});
    source = loadPng(dir, "rgba.png", rgba);
    image = loadPng(dir, "rgba.png", rgba);
    ASSERT_EQ(CXI_Resize(image.get(), 6, 5, 1), 1);
    expectSize(image.get(), 6, 5, 32);
    expectNearestOf(source.get(), image.get());
}

TEST(ImageModuleResize, UnknownFilterValuesSampleNearest) {
    TempDir dir;
    ASSERT_TRUE(writePng(dir.file("source.png"), rgbPng(5, 4)));
    ImageHandle nearest = loadImage(dir.file("source.png"));
    ASSERT_EQ(CXI_Resize(nearest.get(), 8, 3, 1), 1);
    for (int filter : {2, 7, -1}) {
        SCOPED_TRACE(filter);
        ImageHandle image = loadImage(dir.file("source.png"));
        ASSERT_EQ(CXI_Resize(image.get(), 8, 3, filter), 1);
        expectSize(image.get(), 8, 3, 24);
        EXPECT_EQ(storedBytes(image.get()), storedBytes(nearest.get()));
    }
}

TEST(ImageModuleResize, InvalidSizesLeaveTheImageUnchanged) {
    TempDir dir;
    ImageHandle image = loadPng(dir, "source.png", rgbPng(5, 4));
    ASSERT_TRUE(image);
    const Bytes before = storedBytes(image.get());
    for (std::pair<int, int> size : {std::pair<int, int>{0, 4},
                                     {5, 0},
                                     {-1, 4},
                                     {5, -3},
                                     {65536, 1},
                                     {1, 65536},
                                     {65535, 65535},
                                     {40000, 30000}}) {
        for (int filter : {0, 1}) {
            SCOPED_TRACE(std::to_string(size.first) + "x" + std::to_string(size.second) +
                         " filter " + std::to_string(filter));
            EXPECT_EQ(CXI_Resize(image.get(), size.first, size.second, filter), 0);
            expectSize(image.get(), 5, 4, 24);
            EXPECT_EQ(storedBytes(image.get()), before);
        }
    }
    EXPECT_EQ(CXI_Resize(nullptr, 2, 2, 1), 0);
    // The largest side is still accepted.
    EXPECT_EQ(CXI_Resize(image.get(), 65535, 1, 1), 1);
    expectSize(image.get(), 65535, 1, 24);
}

TEST(ImageModuleResize, SmoothKeepsUniformColoursAndDepths) {
    TempDir dir;
    ImageHandle rgb = loadPng(dir, "rgb.png", uniformPng(4, 3, PNG_COLOR_TYPE_RGB, {10, 200, 77}));
    ASSERT_EQ(CXI_Resize(rgb.get(), 9, 7, 0), 1);
    expectSize(rgb.get(), 9, 7, 24);
    expectAllNear(rgb.get(), {77, 200, 10}, 1);

    ImageHandle rgba =
        loadPng(dir, "rgba.png", uniformPng(6, 5, PNG_COLOR_TYPE_RGB_ALPHA, {30, 60, 90, 128}));
    ASSERT_EQ(CXI_Resize(rgba.get(), 2, 3, 0), 1);
    expectSize(rgba.get(), 2, 3, 32);
    expectAllNear(rgba.get(), {90, 60, 30, 128}, 1);

    ImageHandle grey = loadPng(dir, "grey.png", uniformPng(3, 3, PNG_COLOR_TYPE_GRAY, {99}));
    ASSERT_EQ(CXI_Resize(grey.get(), 5, 2, 0), 1);
    expectSize(grey.get(), 5, 2, 24);
    expectAllNear(grey.get(), {99, 99, 99}, 1);
}

TEST(ImageModuleResize, SmoothWeightsColoursByAlpha) {
    TempDir dir;
    // Opaque red beside fully transparent green: the green must not bleed
    // into the pixels that can be seen.
    PngPicture picture = makePngPicture(2, 1, PNG_COLOR_TYPE_RGB_ALPHA);
    picture.rows = {{255, 0, 0, 255, 0, 255, 0, 0}};
    ImageHandle image = loadPng(dir, "edge.png", picture);
    ASSERT_TRUE(image);
    ASSERT_EQ(CXI_Resize(image.get(), 6, 1, 0), 1);
    expectSize(image.get(), 6, 1, 32);
    EXPECT_GT(pixelAt(image.get(), 0, 0)[3], 200);
    EXPECT_LT(pixelAt(image.get(), 5, 0)[3], 55);
    for (int x = 0; x < 6; ++x) {
        Bytes pixel = pixelAt(image.get(), x, 0);
        if (pixel[3] >= 16) {
            EXPECT_LE(pixel[1], 2) << "at " << x;
        }
    }
}

TEST(ImageModuleResize, SmoothExpandsPaletteImagesToBgr) {
    TempDir dir;
    PngPicture picture = palettePng(4, 4, 2, 4, [](int, int) { return 2; });
    ImageHandle image = loadPng(dir, "palette.png", picture);
    ASSERT_TRUE(image);
    ASSERT_EQ(CXI_Resize(image.get(), 7, 3, 0), 1);
    expectSize(image.get(), 7, 3, 24);
    EXPECT_EQ(CXI_GetPaletteSize(image.get()), 0);
    EXPECT_EQ(CXI_GetPalette(image.get()), nullptr);
    expectAllNear(image.get(), bgr(picture.palette[2]), 1);
}

TEST(ImageModuleResize, SmoothKeepsOrientation) {
    TempDir dir;
    // White on the left and at the top, black on the right and at the bottom.
    ImageHandle across = loadPng(dir, "across.png", [] {
        PngPicture picture = makePngPicture(2, 1, PNG_COLOR_TYPE_GRAY);
        picture.rows = {{255, 0}};
        return picture;
    }());
    ImageHandle down = loadPng(dir, "down.png", [] {
        PngPicture picture = makePngPicture(1, 2, PNG_COLOR_TYPE_GRAY);
        picture.rows = {{255}, {0}};
        return picture;
    }());
    ASSERT_TRUE(across);
    ASSERT_TRUE(down);
    ASSERT_EQ(CXI_Resize(across.get(), 8, 1, 0), 1);
    ASSERT_EQ(CXI_Resize(down.get(), 1, 8, 0), 1);
    EXPECT_GT(pixelAt(across.get(), 0, 0)[1], 200);
    EXPECT_LT(pixelAt(across.get(), 7, 0)[1], 55);
    EXPECT_GT(pixelAt(down.get(), 0, 0)[1], 200);
    EXPECT_LT(pixelAt(down.get(), 0, 7)[1], 55);
    for (int i = 1; i < 8; ++i) {
        EXPECT_LE(pixelAt(across.get(), i, 0)[1], pixelAt(across.get(), i - 1, 0)[1]);
        EXPECT_LE(pixelAt(down.get(), 0, i)[1], pixelAt(down.get(), 0, i - 1)[1]);
    }
}

// ---------------------------------------------------------------------------
// Saving

TEST(ImageModuleSave, BmpSavedAsPngKeepsColoursAndOrder) {
    TempDir dir;
    ASSERT_TRUE(writeBmp24(dir.file("source.bmp"), 5, 3, rgbSamples(5, 3)));
    ImageHandle image = loadImage(dir.file("source.bmp"));
    ASSERT_TRUE(image);
    ASSERT_EQ(CXI_SaveImage(image.get(), dir.file("saved.png").c_str(), 0), 1);
    Bytes file = readFile(dir.file("saved.png"));
    ASSERT_GE(file.size(), 8u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), pngSignature());
    ImageHandle saved = loadImage(dir.file("saved.png"));
    ASSERT_TRUE(saved);
    expectSize(saved.get(), 5, 3, 24);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(pixelAt(saved.get(), x, y), bgr(colourAt(x, y)));
}

TEST(ImageModuleSave, PaletteAndAlphaImagesRoundTrip) {
    TempDir dir;
    std::vector<PngPicture> pictures = {
        palettePng(5, 4, 4, 10, [](int x, int y) { return (x * 2 + y) % 10; }),
        uniformPng(3, 2, PNG_COLOR_TYPE_RGB_ALPHA, {1, 2, 3, 4})};
    pictures[1].rows[1] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 255, 128};
    for (size_t i = 0; i < pictures.size(); ++i) {
        SCOPED_TRACE(i);
        ImageHandle image = loadPng(dir, "source.png", pictures[i]);
        ASSERT_TRUE(image);
        ASSERT_EQ(CXI_SaveImage(image.get(), dir.file("saved.png").c_str(), 0), 1);
        ImageHandle saved = loadImage(dir.file("saved.png"));
        ASSERT_TRUE(saved);
        expectSize(saved.get(), CXI_GetWidth(image.get()), CXI_GetHeight(image.get()),
                   CXI_GetBpp(image.get()));
        EXPECT_EQ(storedBytes(saved.get()), storedBytes(image.get()));
        EXPECT_EQ(CXI_GetPaletteSize(saved.get()), CXI_GetPaletteSize(image.get()));
        EXPECT_EQ(paletteBytes(saved.get()), paletteBytes(image.get()));
    }
}

TEST(ImageModuleSave, ResizedImageRoundTrips) {
    TempDir dir;
    ImageHandle image = loadPng(dir, "source.png", rgbPng(5, 3));
    ASSERT_EQ(CXI_Resize(image.get(), 7, 2, 1), 1);
    ASSERT_EQ(CXI_SaveImage(image.get(), dir.file("saved.png").c_str(), 0), 1);
    ImageHandle saved = loadImage(dir.file("saved.png"));
    ASSERT_TRUE(saved);
    expectSize(saved.get(), 7, 2, 24);
    EXPECT_EQ(storedBytes(saved.get()), storedBytes(image.get()));
}

TEST(ImageModuleSave, FailuresReturnZero) {
    TempDir dir;
    ImageHandle image = loadPng(dir, "source.png", rgbPng(2, 2));
    ASSERT_TRUE(image);
    EXPECT_EQ(CXI_SaveImage(image.get(), dir.file("no/such/dir.png").c_str(), 0), 0);
    EXPECT_EQ(CXI_SaveImage(image.get(), dir.path.string().c_str(), 0), 0);
    EXPECT_EQ(CXI_SaveImage(image.get(), nullptr, 0), 0);
    EXPECT_EQ(CXI_SaveImage(nullptr, dir.file("null.png").c_str(), 0), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("null.png")));
}

// ---------------------------------------------------------------------------
// Null handles

TEST(ImageModuleNull, QueriesOnNullGiveZero) {
    EXPECT_EQ(CXI_GetBits(nullptr), nullptr);
    EXPECT_EQ(CXI_GetWidth(nullptr), 0);
    EXPECT_EQ(CXI_GetHeight(nullptr), 0);
    EXPECT_EQ(CXI_GetBpp(nullptr), 0);
    EXPECT_EQ(CXI_GetPaletteSize(nullptr), 0);
    EXPECT_EQ(CXI_GetPalette(nullptr), nullptr);
    EXPECT_EQ(CXI_Resize(nullptr, 1, 1, 0), 0);
    CXI_FreeImage(nullptr);
}
