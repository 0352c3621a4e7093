// The quick PNG reader against libpng: on every picture it accepts, it must
// give exactly libpng's result (size, depth, pixels, palette); on pictures
// libpng refuses it must refuse too. Pictures: every colour type and depth
// the module's tests use, rows filtered with each of the five filters, the
// fuzz corpus, the demo picture, and damaged copies of all of them.
#include "ImageInternal.hpp"
#include "imagemodule/TestImages.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <random>

using namespace testimages;

namespace {

using Bytes = std::vector<uint8_t>;

struct Outcome {
    size_t quick = 0; // pictures the quick reader took
    size_t total = 0;
};

void expectSameDecode(const Bytes &file, const std::string &name, Outcome &outcome) {
    std::unique_ptr<MorvikImage> quick = imagemodule::loadPngQuickly(file);
    std::unique_ptr<MorvikImage> libpng = imagemodule::loadPng(file);
    ++outcome.total;
    if (!quick)
        return;
    ++outcome.quick;
    ASSERT_TRUE(libpng) << name << ": libpng refuses what the quick reader took";
    EXPECT_EQ(quick->width, libpng->width) << name;
    EXPECT_EQ(quick->height, libpng->height) << name;
    EXPECT_EQ(quick->bitsPerPixel, libpng->bitsPerPixel) << name;
    EXPECT_TRUE(quick->pixels == libpng->pixels) << name;
    EXPECT_EQ(quick->palette, libpng->palette) << name;
    EXPECT_EQ(quick->paletteEntries, libpng->paletteEntries) << name;
}

uint8_t samplePattern(size_t x, size_t y, size_t c, uint32_t seed) {
    return static_cast<uint8_t>((x * 37 + y * 11 + c * 101 + seed) ^ (x * y >> 2));
}

// Raw samples of every layout the module reads: rows from the top.
PngPicture patternPicture(uint32_t width, uint32_t height, int colorType, int bitDepth,
                          uint32_t seed) {
    PngPicture picture = makePngPicture(width, height, colorType, bitDepth);
    const size_t channels = colorType == PNG_COLOR_TYPE_RGB          ? 3
                            : colorType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                            : colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                     : 1;
    const int maxSample = (1 << std::min(bitDepth, 8)) - 1;
    for (uint32_t y = 0; y < height; ++y) {
        Bytes samples;
        for (uint32_t x = 0; x < width; ++x)
            for (size_t c = 0; c < channels * (bitDepth == 16 ? 2 : 1); ++c)
                samples.push_back(static_cast<uint8_t>(samplePattern(x, y, c, seed) & maxSample));
        picture.rows.push_back(packSamples(samples, bitDepth));
    }
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        for (int i = 0; i <= maxSample; ++i)
            picture.palette.push_back(Rgb{static_cast<uint8_t>(i * 3), static_cast<uint8_t>(i),
                                          static_cast<uint8_t>(255 - i)});
    return picture;
}

uint8_t paethOf(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// The picture's rows filtered by hand, row y with filter (y + shift) % 5, so
// that every filter meets every layout.
Bytes filteredPng(const PngPicture &picture, int channels, int shift) {
    const size_t step = std::max<size_t>(1, static_cast<size_t>(channels * picture.bitDepth / 8));
    Bytes raw;
    Bytes above(picture.rows.empty() ? 0 : picture.rows[0].size(), 0);
    for (size_t y = 0; y < picture.rows.size(); ++y) {
        const Bytes &row = picture.rows[y];
        const int filter = static_cast<int>((y + static_cast<size_t>(shift)) % 5);
        raw.push_back(static_cast<uint8_t>(filter));
        for (size_t i = 0; i < row.size(); ++i) {
            const int left = i >= step ? row[i - step] : 0;
            const int up = above[i];
            const int corner = i >= step ? above[i - step] : 0;
            const int predicted = filter == 1   ? left
                                  : filter == 2 ? up
                                  : filter == 3 ? (left + up) / 2
                                  : filter == 4 ? paethOf(left, up, corner)
                                                : 0;
            raw.push_back(static_cast<uint8_t>(row[i] - predicted));
        }
        above = row;
    }
    uLongf size = compressBound(raw.size());
    Bytes packed(size, 0);
    compress2(packed.data(), &size, raw.data(), raw.size(), 6);
    packed.resize(size);
    Bytes png = pngSignature();
    auto append = [&](const Bytes &chunk) { png.insert(png.end(), chunk.begin(), chunk.end()); };
    append(pngChunk("IHDR", pngHeaderData(picture.width, picture.height,
                                          static_cast<uint8_t>(picture.bitDepth),
                                          static_cast<uint8_t>(picture.colorType))));
    if (!picture.palette.empty()) {
        Bytes entries;
        for (const Rgb &c : picture.palette)
            entries.insert(entries.end(), {c.red, c.green, c.blue});
        append(pngChunk("PLTE", entries));
    }
    // The data in two chunks, as writers with small buffers leave it.
    const size_t half = packed.size() / 2;
    append(pngChunk("IDAT", Bytes(packed.begin(), packed.begin() + static_cast<long>(half))));
    append(pngChunk("IDAT", Bytes(packed.begin() + static_cast<long>(half), packed.end())));
    append(pngChunk("IEND", {}));
    return png;
}

struct Layout {
    int colorType;
    int bitDepth;
    int channels;
};

const Layout kLayouts[] = {
    {PNG_COLOR_TYPE_PALETTE, 1, 1},    {PNG_COLOR_TYPE_PALETTE, 2, 1},
    {PNG_COLOR_TYPE_PALETTE, 4, 1},    {PNG_COLOR_TYPE_PALETTE, 8, 1},
    {PNG_COLOR_TYPE_GRAY, 1, 1},       {PNG_COLOR_TYPE_GRAY, 4, 1},
    {PNG_COLOR_TYPE_GRAY, 8, 1},       {PNG_COLOR_TYPE_GRAY, 16, 1},
    {PNG_COLOR_TYPE_GRAY_ALPHA, 8, 2}, {PNG_COLOR_TYPE_RGB, 8, 3},
    {PNG_COLOR_TYPE_RGB, 16, 3},       {PNG_COLOR_TYPE_RGB_ALPHA, 8, 4},
};

std::vector<std::pair<std::string, Bytes>> allPictures() {
    std::vector<std::pair<std::string, Bytes>> pictures;
    uint32_t seed = 1;
    for (const Layout &layout : kLayouts)
        for (uint32_t width : {1u, 7u, 13u, 64u})
            for (bool interlaced : {false, true}) {
                PngPicture picture =
                    patternPicture(width, 9, layout.colorType, layout.bitDepth, seed++);
                const std::string name = "type" + std::to_string(layout.colorType) + "-depth" +
                                         std::to_string(layout.bitDepth) + "-w" +
                                         std::to_string(width);
                pictures.emplace_back(name + "-filtered", filteredPng(picture, layout.channels,
                                                                      static_cast<int>(width)));
                picture.interlaced = interlaced;
                if (layout.colorType == PNG_COLOR_TYPE_PALETTE && width == 13)
                    picture.paletteAlpha = {0, 128, 255};
                pictures.emplace_back(name + (interlaced ? "-interlaced" : "-libpng"),
                                      encodePng(picture));
            }
    const std::string source = MORVIK_SOURCE_DIR;
    pictures.emplace_back("title", readFile(source + "/examples/title.png"));
    for (const auto &entry :
         std::filesystem::directory_iterator(source + "/fuzz/corpus/image_load"))
        pictures.emplace_back(entry.path().filename().string(), readFile(entry.path().string()));
    return pictures;
}

// Cut short, and with one byte changed.
std::vector<Bytes> damagedCopies(const Bytes &png, std::mt19937 &rng) {
    std::vector<Bytes> copies;
    if (png.size() < 20)
        return copies;
    copies.emplace_back(png.begin(), png.begin() + static_cast<long>(png.size() * 3 / 4));
    for (int k = 0; k < 6; ++k) {
        Bytes changed = png;
        changed[8 + rng() % (png.size() - 8)] ^= static_cast<uint8_t>(1 + rng() % 255);
        copies.push_back(changed);
    }
    return copies;
}

TEST(PngDecoderEquality, QuickReaderGivesLibpngsResultOrLeavesThePicture) {
    Outcome whole;
    Outcome damaged;
    std::mt19937 rng(99);
    for (const auto &[name, png] : allPictures()) {
        ASSERT_FALSE(png.empty()) << name;
        expectSameDecode(png, name, whole);
        for (const Bytes &copy : damagedCopies(png, rng))
            expectSameDecode(copy, name + " (damaged)", damaged);
    }
    // Every plain 8-bit and palette layout (6 of 12), filtered by hand or not,
    // goes the quick way.
    EXPECT_GE(whole.quick, whole.total / 3);
}

} // namespace
