// What the image module makes of every picture layout its tests use, as a
// table: size, depth, palette and a hash of the pixels and the palette. The
// table was recorded before any decoder was replaced, so it holds each reader
// to the pixels the one before it gave. JPEG decoders may round differently,
// so JPEG pictures are compared sample by sample within a small tolerance.
#include "imagemodule/FormatWriters.hpp"
#include "imagemodule/JpegGolden.hpp"
#include "imagemodule/JpegWriter.hpp"
#include "imagemodule/TestImages.hpp"
#include "morvik_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

using namespace testimages;

namespace {

using Bytes = std::vector<uint8_t>;
using ImageHandle = std::unique_ptr<MorvikImage, decltype(&CXI_FreeImage)>;

struct Decoded {
    int width = 0;
    int height = 0;
    int bpp = 0;
    int paletteBytes = 0;
    uint64_t hash = 0;
};

bool operator==(const Decoded &a, const Decoded &b) {
    return a.width == b.width && a.height == b.height && a.bpp == b.bpp &&
           a.paletteBytes == b.paletteBytes && a.hash == b.hash;
}

// FNV-1a over the pixels, then the palette.
uint64_t fnv(const uint8_t *bytes, size_t count, uint64_t hash = 0xCBF29CE484222325ull) {
    for (size_t i = 0; i < count; ++i)
        hash = (hash ^ bytes[i]) * 0x100000001B3ull;
    return hash;
}

size_t pixelBytes(MorvikImage *image) {
    return static_cast<size_t>(CXI_GetWidth(image)) * static_cast<size_t>(CXI_GetHeight(image)) *
           static_cast<size_t>(CXI_GetBpp(image) / 8);
}

ImageHandle loadFile(const TempDir &dir, const std::string &name, const Bytes &bytes) {
    const std::string path = dir.file(name);
    if (!writeFile(path, bytes))
        return ImageHandle(nullptr, &CXI_FreeImage);
    return ImageHandle(CXI_LoadImage(path.c_str(), 1, 0, 0), &CXI_FreeImage);
}

Decoded describe(MorvikImage *image) {
    Decoded decoded{CXI_GetWidth(image), CXI_GetHeight(image), CXI_GetBpp(image),
                    CXI_GetPaletteSize(image), 0};
    decoded.hash = fnv(CXI_GetBits(image), pixelBytes(image));
    if (CXI_GetPalette(image) != nullptr)
        decoded.hash =
            fnv(CXI_GetPalette(image), static_cast<size_t>(decoded.paletteBytes), decoded.hash);
    return decoded;
}

std::string row(const std::string &name, const Decoded &d) {
    char text[200];
    std::snprintf(text, sizeof text, "{\"%s\", {%d, %d, %d, %d, 0x%016llXull}},", name.c_str(),
                  d.width, d.height, d.bpp, d.paletteBytes,
                  static_cast<unsigned long long>(d.hash));
    return text;
}

// ---------------------------------------------------------------------------
// The pictures

uint8_t wave(size_t x, size_t y, size_t c) {
    return static_cast<uint8_t>(x * 37 + y * 11 + c * 71 + ((x * y) & 7) * 19);
}

std::vector<Rgb> ramp(size_t entries) {
    std::vector<Rgb> palette;
    for (size_t i = 0; i < entries; ++i)
        palette.push_back(Rgb{static_cast<uint8_t>(i * 3 + 1), static_cast<uint8_t>(255 - i),
                              static_cast<uint8_t>(i ^ 0x5A)});
    return palette;
}

// Samples of `channels` bytes a pixel, top row first.
Bytes samples(uint32_t width, uint32_t height, size_t channels) {
    Bytes out;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (size_t c = 0; c < channels; ++c)
                out.push_back(wave(x, y, c));
    return out;
}

PngPicture png(uint32_t width, uint32_t height, int colourType, int depth,
               bool interlaced = false) {
    PngPicture picture = makePngPicture(width, height, colourType, depth);
    picture.interlaced = interlaced;
    const size_t channels = colourType == PNG_COLOR_TYPE_RGB          ? 3
                            : colourType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                            : colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                      : 1;
    const int levels = depth >= 8 ? 256 : 1 << depth;
    for (uint32_t y = 0; y < height; ++y) {
        Bytes row;
        for (uint32_t x = 0; x < width; ++x)
            for (size_t c = 0; c < channels * (depth == 16 ? 2 : 1); ++c)
                row.push_back(static_cast<uint8_t>(wave(x, y, c) % levels));
        picture.rows.push_back(packSamples(row, depth));
    }
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        picture.palette = ramp(static_cast<size_t>(levels));
    return picture;
}

void addPngs(std::vector<std::pair<std::string, Bytes>> &files) {
    for (int depth : {1, 2, 4, 8})
        files.emplace_back("palette" + std::to_string(depth) + ".png",
                           encodePng(png(7, 3, PNG_COLOR_TYPE_PALETTE, depth)));
    for (int depth : {1, 2, 4, 8, 16})
        files.emplace_back("grey" + std::to_string(depth) + ".png",
                           encodePng(png(9, 2, PNG_COLOR_TYPE_GRAY, depth)));
    files.emplace_back("greyalpha.png", encodePng(png(2, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 8)));
    files.emplace_back("rgb.png", encodePng(png(13, 11, PNG_COLOR_TYPE_RGB, 8)));
    files.emplace_back("rgba.png", encodePng(png(3, 2, PNG_COLOR_TYPE_RGB_ALPHA, 8)));
    files.emplace_back("rgb16.png", encodePng(png(3, 2, PNG_COLOR_TYPE_RGB, 16)));
    files.emplace_back("rgba16.png", encodePng(png(3, 2, PNG_COLOR_TYPE_RGB_ALPHA, 16)));
    files.emplace_back("interlaced.png", encodePng(png(13, 11, PNG_COLOR_TYPE_RGB, 8, true)));
    files.emplace_back("interlaced4.png", encodePng(png(9, 7, PNG_COLOR_TYPE_PALETTE, 4, true)));
    PngPicture transparent = png(9, 9, PNG_COLOR_TYPE_PALETTE, 4);
    transparent.paletteAlpha = {0, 128, 255};
    files.emplace_back("palette-trns.png", encodePng(transparent));
}

BmpPicture bmp(uint32_t width, uint32_t height, uint16_t bits) {
    BmpPicture picture;
    picture.width = width;
    picture.height = height;
    picture.bitsPerPixel = bits;
    if (bits <= 8)
        picture.palette = ramp(bits == 8 ? 200 : size_t{1} << bits);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t value = wave(x, y, 0) | uint32_t{wave(x, y, 1)} << 8 |
                                   uint32_t{wave(x, y, 2)} << 16 | uint32_t{wave(x, y, 3)} << 24;
            picture.pixels.push_back(bits <= 8    ? value % picture.palette.size()
                                     : bits == 16 ? value & 0x7FFF
                                     : bits == 24 ? value & 0xFFFFFF
                                                  : value);
        }
    return picture;
}

void addBmps(std::vector<std::pair<std::string, Bytes>> &files) {
    files.emplace_back("rgb-3x2.bmp", encodeBmp24(3, 2, samples(3, 2, 3)));
    files.emplace_back("rgb-5x3.bmp", encodeBmp24(5, 3, samples(5, 3, 3)));
    files.emplace_back("palette1.bmp", encodeBmp(bmp(13, 5, 1)));
    files.emplace_back("palette4.bmp", encodeBmp(bmp(9, 4, 4)));
    files.emplace_back("palette8.bmp", encodeBmp(bmp(7, 3, 8)));
    BmpPicture core = bmp(6, 5, 8);
    core.headerSize = 12;
    for (uint32_t &pixel : core.pixels)
        pixel %= 150;
    files.emplace_back("core8.bmp", encodeBmp(core));
    BmpPicture core24 = bmp(5, 2, 24);
    core24.headerSize = 12;
    files.emplace_back("core24.bmp", encodeBmp(core24));
    files.emplace_back("rgb555.bmp", encodeBmp(bmp(5, 3, 16)));
    BmpPicture rgb565 = bmp(5, 3, 16);
    rgb565.compression = 3;
    rgb565.masks = {0xF800, 0x07E0, 0x001F};
    for (uint32_t &pixel : rgb565.pixels)
        pixel = (pixel * 3) & 0xFFFF;
    files.emplace_back("rgb565.bmp", encodeBmp(rgb565));
    files.emplace_back("rgba-plain.bmp", encodeBmp(bmp(4, 3, 32)));
    BmpPicture noAlpha = bmp(4, 3, 32);
    for (uint32_t &pixel : noAlpha.pixels)
        pixel &= 0xFFFFFF;
    files.emplace_back("rgb-zero-alpha.bmp", encodeBmp(noAlpha));
    BmpPicture v4 = bmp(3, 4, 32);
    v4.headerSize = 108;
    v4.compression = 3;
    v4.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    files.emplace_back("v4-rgba.bmp", encodeBmp(v4));
    BmpPicture v5 = bmp(3, 4, 32);
    v5.headerSize = 124;
    v5.compression = 3;
    v5.masks = {0xFF00, 0xFF0000, 0xFF000000, 0xFF};
    files.emplace_back("v5-rgba.bmp", encodeBmp(v5));
}

TgaPicture tga(uint8_t type, uint8_t bits, uint16_t width, uint16_t height) {
    TgaPicture picture;
    picture.imageType = type;
    picture.bitsPerPixel = bits;
    picture.width = width;
    picture.height = height;
    const size_t pixelSize = (bits + 7u) / 8u;
    for (uint16_t y = 0; y < height; ++y)
        for (uint16_t x = 0; x < width; ++x)
            for (size_t c = 0; c < pixelSize; ++c)
                // Runs of equal pixels for the run-length packets to find.
                picture.pixels.push_back(wave(x / 3u, y, c));
    return picture;
}

TgaPicture mappedTga(uint8_t type, uint8_t entryBits, size_t entries) {
    TgaPicture picture = tga(type, 8, 7, 5);
    picture.mapEntryBits = entryBits;
    for (size_t i = 0; i < entries * ((entryBits + 7u) / 8u); ++i)
        picture.map.push_back(static_cast<uint8_t>(i * 29 + 3));
    for (uint8_t &pixel : picture.pixels)
        pixel = static_cast<uint8_t>(pixel % entries);
    return picture;
}

void addTgas(std::vector<std::pair<std::string, Bytes>> &files) {
    files.emplace_back("rgb.tga", encodeTga(tga(2, 24, 5, 3)));
    TgaPicture top = tga(2, 32, 4, 3);
    top.topOrigin = true;
    top.id = {'m', 'o', 'r'};
    files.emplace_back("rgba-top.tga", encodeTga(top));
    files.emplace_back("grey.tga", encodeTga(tga(3, 8, 6, 4)));
    files.emplace_back("rgb555.tga", encodeTga(tga(2, 16, 5, 3)));
    files.emplace_back("rle-rgb.tga", encodeTga(tga(10, 24, 17, 6)));
    TgaPicture rleTop = tga(10, 32, 9, 4);
    rleTop.topOrigin = true;
    files.emplace_back("rle-rgba-top.tga", encodeTga(rleTop));
    files.emplace_back("rle-grey.tga", encodeTga(tga(11, 8, 300, 2)));
    files.emplace_back("mapped24.tga", encodeTga(mappedTga(1, 24, 12)));
    files.emplace_back("mapped32-rle.tga", encodeTga(mappedTga(9, 32, 6)));
    files.emplace_back("mapped16.tga", encodeTga(mappedTga(1, 16, 9)));
}

PsdPicture psd(uint32_t width, uint32_t height, size_t channels, uint16_t depth, bool runLength) {
    PsdPicture picture;
    picture.width = width;
    picture.height = height;
    picture.depth = depth;
    picture.runLength = runLength;
    for (size_t c = 0; c < channels; ++c) {
        Bytes plane;
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                for (uint16_t b = 0; b < depth / 8; ++b)
                    plane.push_back(wave(x / 2, y, c * 2 + b));
        picture.planes.push_back(plane);
    }
    return picture;
}

void addPsds(std::vector<std::pair<std::string, Bytes>> &files) {
    files.emplace_back("rgb.psd", encodePsd(psd(5, 3, 3, 8, false)));
    files.emplace_back("rgb-rle.psd", encodePsd(psd(11, 4, 3, 8, true)));
    files.emplace_back("rgb16.psd", encodePsd(psd(3, 2, 3, 16, false)));
    // Alpha either clear or opaque, and partial alpha over colours matted with white.
    PsdPicture alpha = psd(6, 3, 4, 8, false);
    for (size_t i = 0; i < alpha.planes[3].size(); ++i)
        alpha.planes[3][i] = i % 3 == 0 ? 0 : 255;
    files.emplace_back("rgba.psd", encodePsd(alpha));
    PsdPicture matte = psd(6, 3, 4, 8, true);
    for (size_t i = 0; i < matte.planes[3].size(); ++i) {
        const uint8_t a = static_cast<uint8_t>(60 + i * 9);
        matte.planes[3][i] = a;
        for (size_t c = 0; c < 3; ++c)
            matte.planes[c][i] = static_cast<uint8_t>(255 - a + (matte.planes[c][i] % (a + 1u)));
    }
    files.emplace_back("rgba-matte-rle.psd", encodePsd(matte));
}

GifPicture gif(uint16_t width, uint16_t height, size_t colours) {
    GifPicture picture;
    picture.screenWidth = width;
    picture.screenHeight = height;
    picture.width = width;
    picture.height = height;
    picture.globalTable = ramp(colours);
    for (uint16_t y = 0; y < height; ++y)
        for (uint16_t x = 0; x < width; ++x)
            picture.indices.push_back(static_cast<uint8_t>(wave(x, y, 0) % colours));
    return picture;
}

void addGifs(std::vector<std::pair<std::string, Bytes>> &files) {
    const std::vector<Rgb> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
    files.emplace_back("small.gif", encodeGif(3, 2, palette, {0, 1, 2, 3, 3, 0}));
    for (size_t colours : {16, 256}) {
        Bytes indices;
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x)
                indices.push_back(static_cast<uint8_t>((x * 7 + y * 3) % colours));
        files.emplace_back("many" + std::to_string(colours) + ".gif",
                           encodeGif(37, 23, ramp(colours), indices));
    }
    GifPicture interlaced = gif(10, 11, 8);
    interlaced.interlaced = true;
    files.emplace_back("interlaced.gif", encodeGifPicture(interlaced));
    GifPicture local = gif(6, 4, 4);
    local.localTable = ramp(32);
    local.localTable.erase(local.localTable.begin(), local.localTable.begin() + 16);
    files.emplace_back("local.gif", encodeGifPicture(local));
    GifPicture transparent = gif(6, 4, 4);
    transparent.transparentIndex = 2;
    files.emplace_back("transparent.gif", encodeGifPicture(transparent));
    GifPicture inset = gif(5, 3, 4);
    inset.screenWidth = 9;
    inset.screenHeight = 7;
    inset.left = 2;
    inset.top = 3;
    files.emplace_back("inset.gif", encodeGifPicture(inset));
    inset.backgroundIndex = 3;
    inset.globalTable[3] = Rgb{90, 20, 90};
    files.emplace_back("inset-background.gif", encodeGifPicture(inset));
}

Bytes pnm(const std::string &header, const Bytes &data) {
    Bytes out(header.begin(), header.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

void addPnms(std::vector<std::pair<std::string, Bytes>> &files) {
    files.emplace_back("grey.pgm", pnm("P5\n3 2\n255\n", {0, 50, 100, 150, 200, 250}));
    files.emplace_back("colour.ppm", pnm("P6\n2 2\n255\n", samples(2, 2, 3)));
    files.emplace_back("grey16.pgm", pnm("P5 2 1 # a comment\n65535\n", {0x12, 0x34, 0xAB, 0xCD}));
    files.emplace_back("colour16.ppm",
                       pnm("P6\n1 1\n1000\n", {0x01, 0x02, 0x83, 0x84, 0xFF, 0xFE}));
    files.emplace_back("comments.ppm", pnm("P6\n# made by hand\n4\t3 # size\n# depth next\n255\r",
                                           samples(4, 3, 3)));
    Bytes low = samples(5, 2, 1);
    for (uint8_t &sample : low)
        sample %= 16;
    files.emplace_back("maxval15.pgm", pnm("P5 5 2 15\n", low));
}

std::vector<std::pair<std::string, Bytes>> pictures() {
    std::vector<std::pair<std::string, Bytes>> files;
    addPngs(files);
    addBmps(files);
    addTgas(files);
    addPsds(files);
    addGifs(files);
    addPnms(files);
    // The image seeds of the fuzz target, made by other writers (stb_image_write's
    // run-length TGA, BMP with a V4 header and JPEG among them).
    const std::filesystem::path corpus =
        std::filesystem::path(MORVIK_SOURCE_DIR) / "fuzz" / "corpus" / "image_load";
    std::vector<std::filesystem::path> seeds;
    // JPEG seeds are in the JPEG table; the short palette is damaged on purpose.
    for (const auto &entry : std::filesystem::directory_iterator(corpus))
        if (entry.path().extension() != ".jpg" && entry.path().filename() != "short-palette.png")
            seeds.push_back(entry.path());
    std::sort(seeds.begin(), seeds.end());
    for (const std::filesystem::path &seed : seeds)
        files.emplace_back("seed-" + seed.filename().string(), readFile(seed.string()));
    return files;
}

// clang-format off
const std::map<std::string, Decoded> kDecoded = {
    {"core8.bmp", {6, 5, 24, 0, 0xF4EDCB414CDD8D30ull}},
    {"inset-background.gif", {9, 7, 32, 0, 0x89938E1D21AD1BBEull}},
    {"palette1.png", {7, 3, 8, 8, 0xB7112FA2EF39210Bull}},
    {"palette2.png", {7, 3, 8, 16, 0xF9AE3FC6E730538Aull}},
    {"palette4.png", {7, 3, 8, 64, 0x25889B12336782AEull}},
    {"palette8.png", {7, 3, 8, 1024, 0x8B8D900105511AAEull}},
    {"grey1.png", {9, 2, 24, 0, 0xAD4053B201C2A364ull}},
    {"grey2.png", {9, 2, 24, 0, 0x0195FB8F0277CA94ull}},
    {"grey4.png", {9, 2, 24, 0, 0xA55C16B1D919CB38ull}},
    {"grey8.png", {9, 2, 24, 0, 0x289478ED07719DA8ull}},
    {"grey16.png", {9, 2, 24, 0, 0x289478ED07719DA8ull}},
    {"greyalpha.png", {2, 2, 32, 0, 0xE44B191C25ADAE57ull}},
    {"rgb.png", {13, 11, 24, 0, 0x84406B98DFD3D7F1ull}},
    {"rgba.png", {3, 2, 32, 0, 0x557294BBC9D05335ull}},
    {"rgb16.png", {3, 2, 24, 0, 0x1B906B5485BA6513ull}},
    {"rgba16.png", {3, 2, 32, 0, 0x122F5354C59170DDull}},
    {"interlaced.png", {13, 11, 24, 0, 0x84406B98DFD3D7F1ull}},
    {"interlaced4.png", {9, 7, 8, 64, 0x8ACD5BC350068C8Aull}},
    {"palette-trns.png", {9, 9, 8, 64, 0x09AF64814181F977ull}},
    {"rgb-3x2.bmp", {3, 2, 24, 0, 0x2545F0CD07FA87C9ull}},
    {"rgb-5x3.bmp", {5, 3, 24, 0, 0x56BCA7B1EA9E8E11ull}},
    {"palette1.bmp", {13, 5, 24, 0, 0xC8163A8E4E2A302Dull}},
    {"palette4.bmp", {9, 4, 24, 0, 0x247E243680C73229ull}},
    {"palette8.bmp", {7, 3, 24, 0, 0x6042648E71B6EDFAull}},
    {"core24.bmp", {5, 2, 24, 0, 0x58BD01214F8375A8ull}},
    {"rgb555.bmp", {5, 3, 24, 0, 0x5C2AE6469D598407ull}},
    {"rgb565.bmp", {5, 3, 24, 0, 0xD9F88CED9908B176ull}},
    {"rgba-plain.bmp", {4, 3, 32, 0, 0xFE07D0EBACF77EE5ull}},
    {"rgb-zero-alpha.bmp", {4, 3, 32, 0, 0xD40AF94DDADC0969ull}},
    {"v4-rgba.bmp", {3, 4, 32, 0, 0xEB5045DC99156025ull}},
    {"v5-rgba.bmp", {3, 4, 32, 0, 0x74BD3FE1FDF6F53Dull}},
    {"rgb.tga", {5, 3, 24, 0, 0x960FA7A93F30E695ull}},
    {"rgba-top.tga", {4, 3, 32, 0, 0x3945883D9E61F141ull}},
    {"grey.tga", {6, 4, 24, 0, 0x63C4ABA9EDC77559ull}},
    {"rgb555.tga", {5, 3, 24, 0, 0x09B9A05B6EF8D1CEull}},
    {"rle-rgb.tga", {17, 6, 24, 0, 0xBB835B9A4D0D0C84ull}},
    {"rle-rgba-top.tga", {9, 4, 32, 0, 0x20740A4774E1DB75ull}},
    {"rle-grey.tga", {300, 2, 24, 0, 0x3244CAE2F0E00C7Dull}},
    {"mapped24.tga", {7, 5, 24, 0, 0xBE87629939CB1784ull}},
    {"mapped32-rle.tga", {7, 5, 32, 0, 0x2E6A88D1CBD8FF31ull}},
    {"mapped16.tga", {7, 5, 24, 0, 0x896850CE88B285D8ull}},
    {"rgb.psd", {5, 3, 32, 0, 0x0BB47CBBADCD22B5ull}},
    {"rgb-rle.psd", {11, 4, 32, 0, 0x4C09A1F4106CFAC5ull}},
    {"rgb16.psd", {3, 2, 32, 0, 0xADA26FD18357FBF7ull}},
    {"rgba.psd", {6, 3, 32, 0, 0x6BB94CF4BA244295ull}},
    {"rgba-matte-rle.psd", {6, 3, 32, 0, 0x875D061C258B716Eull}},
    {"small.gif", {3, 2, 32, 0, 0x4643A0A35692B22Full}},
    {"many16.gif", {37, 23, 32, 0, 0x6B9626A310D42991ull}},
    {"many256.gif", {37, 23, 32, 0, 0x4D906E1A7A90BB71ull}},
    {"interlaced.gif", {10, 11, 32, 0, 0x3BB0082E069A70CBull}},
    {"local.gif", {6, 4, 32, 0, 0x75A505846836C47Dull}},
    {"transparent.gif", {6, 4, 32, 0, 0x80354F971A588E5Cull}},
    {"inset.gif", {9, 7, 32, 0, 0x69D81DE083F41F61ull}},
    {"grey.pgm", {3, 2, 24, 0, 0x47B5FC66328615CFull}},
    {"colour.ppm", {2, 2, 24, 0, 0x7AE2B5AA7F28FDFCull}},
    {"grey16.pgm", {2, 1, 24, 0, 0x9F05B6D55605DD78ull}},
    {"colour16.ppm", {1, 1, 24, 0, 0xFAD0A21BE584EE42ull}},
    {"comments.ppm", {4, 3, 24, 0, 0xFDE041AA6BA03CF9ull}},
    {"maxval15.pgm", {5, 2, 24, 0, 0xAD48D6AE2D6AB630ull}},
    {"seed-grey.pgm", {4, 3, 24, 0, 0xCDC86B88A05D8069ull}},
    {"seed-grey1.png", {11, 7, 24, 0, 0xEF05A4966ED89FBFull}},
    {"seed-grey16.png", {11, 7, 24, 0, 0x5818E021F6F3050Bull}},
    {"seed-grey8.png", {11, 7, 24, 0, 0x5818E021F6F3050Bull}},
    {"seed-greyalpha.png", {11, 7, 32, 0, 0xF07A3FC5EB54482Aull}},
    {"seed-interlaced.png", {13, 9, 24, 0, 0xE09AE8C271611A90ull}},
    {"seed-palette-trns.png", {9, 9, 8, 64, 0x7FA241B35FBD7577ull}},
    {"seed-palette.gif", {6, 4, 32, 0, 0x7A9E7971A97AA8E5ull}},
    {"seed-palette1.png", {11, 7, 8, 8, 0x4B8702EF84899431ull}},
    {"seed-palette2.png", {11, 7, 8, 16, 0x1EAFFEFEEA1F7ADFull}},
    {"seed-palette4.png", {11, 7, 8, 64, 0x4A6FF5CB361867FBull}},
    {"seed-palette8.png", {11, 7, 8, 1024, 0x1A36392E95BEC3DBull}},
    {"seed-rgb.bmp", {5, 3, 24, 0, 0xA0D589EB68779686ull}},
    {"seed-rgb.png", {11, 7, 24, 0, 0x55050F4C4BC66D74ull}},
    {"seed-rgb.ppm", {3, 4, 24, 0, 0xAB578B1000827D71ull}},
    {"seed-rgb16.png", {11, 7, 24, 0, 0x383872227FEDF2B9ull}},
    {"seed-rgba.bmp", {4, 4, 32, 0, 0xC0CB838DB7D98665ull}},
    {"seed-rgba.png", {11, 7, 32, 0, 0xA12D844CDA5FCCCDull}},
    {"seed-rgba.tga", {6, 5, 32, 0, 0xFFB13305DCEFAAA9ull}},
    {"seed-rgba16.png", {11, 7, 32, 0, 0x54AA76469B4AED7Dull}},
};
// clang-format on

std::vector<std::pair<std::string, Bytes>> jpegPictures() {
    std::vector<std::pair<std::string, Bytes>> files;
    JpegOptions grey;
    grey.components = 1;
    files.emplace_back("grey.jpg", encodeJpeg(samples(16, 16, 1), 16, 16, grey));
    JpegOptions full;
    full.lumaHorizontal = 1;
    full.lumaVertical = 1;
    files.emplace_back("444.jpg", encodeJpeg(samples(16, 16, 3), 16, 16, full));
    files.emplace_back("420.jpg", encodeJpeg(samples(16, 16, 3), 16, 16));
    JpegOptions wide;
    wide.lumaVertical = 1;
    wide.quality = 60;
    // The right half's colours change only down the rows: at the right edge the
    // chroma upsampling of one decoder weighs its neighbours the wrong way round.
    Bytes halfFlat = samples(32, 13, 3);
    for (size_t y = 0; y < 13; ++y)
        for (size_t x = 16; x < 32; ++x)
            std::copy_n(&halfFlat[(y * 32 + 16) * 3], 3, &halfFlat[(y * 32 + x) * 3]);
    files.emplace_back("422.jpg", encodeJpeg(halfFlat, 32, 13, wide));
    JpegOptions progressive;
    progressive.progressive = true;
    files.emplace_back("progressive.jpg", encodeJpeg(samples(16, 16, 3), 16, 16, progressive));
    JpegOptions restarts;
    restarts.restartRows = 1;
    files.emplace_back("restarts.jpg", encodeJpeg(samples(24, 32, 3), 24, 32, restarts));
    JpegOptions cmyk = full;
    cmyk.components = 4;
    files.emplace_back("ycck.jpg", encodeJpeg(samples(8, 8, 4), 8, 8, cmyk));
    files.emplace_back("seed-rgb.jpg", readFile(std::string(MORVIK_SOURCE_DIR) +
                                                "/fuzz/corpus/image_load/rgb.jpg"));
    return files;
}

std::string hex(const Bytes &bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

Bytes unhex(const std::string &text) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

} // namespace

TEST(DecodedPictures, EveryLayoutDecodesAsRecorded) {
    TempDir dir;
    std::string missing;
    for (const auto &[name, bytes] : pictures()) {
        SCOPED_TRACE(name);
        ASSERT_FALSE(bytes.empty());
        ImageHandle image = loadFile(dir, name, bytes);
        ASSERT_TRUE(image);
        const Decoded decoded = describe(image.get());
        const auto expected = kDecoded.find(name);
        if (expected == kDecoded.end())
            missing += row(name, decoded) + "\n";
        else
            EXPECT_TRUE(expected->second == decoded) << row(name, decoded);
    }
    EXPECT_EQ(missing, "");
}

TEST(DecodedPictures, JpegsDecodeAsRecordedWithinRounding) {
    TempDir dir;
    std::string missing;
    for (const auto &[name, bytes] : jpegPictures()) {
        SCOPED_TRACE(name);
        ASSERT_FALSE(bytes.empty());
        ImageHandle image = loadFile(dir, name, bytes);
        ASSERT_TRUE(image);
        const Bytes pixels(CXI_GetBits(image.get()),
                           CXI_GetBits(image.get()) + pixelBytes(image.get()));
        const auto expected = kJpegDecoded.find(name);
        if (expected == kJpegDecoded.end()) {
            missing += "{\"" + name + "\", {" + std::to_string(CXI_GetWidth(image.get())) + ", " +
                       std::to_string(CXI_GetHeight(image.get())) + ", " +
                       std::to_string(CXI_GetBpp(image.get())) + ", \"" + hex(pixels) + "\"}},\n";
            continue;
        }
        const JpegDecoded &want = expected->second;
        EXPECT_EQ(CXI_GetWidth(image.get()), want.width);
        EXPECT_EQ(CXI_GetHeight(image.get()), want.height);
        EXPECT_EQ(CXI_GetBpp(image.get()), want.bpp);
        const Bytes wanted = unhex(want.pixels);
        ASSERT_EQ(pixels.size(), wanted.size());
        int worst = 0;
        for (size_t i = 0; i < pixels.size(); ++i)
            worst = std::max(worst, std::abs(pixels[i] - wanted[i]));
        EXPECT_LE(worst, kJpegTolerance);
    }
    EXPECT_EQ(missing, "");
}
