// Writes the seed corpora of the fuzz targets: morvik-make-corpus <folder>
// fills <folder>/<target>/ with small inputs. The output is the same on every
// run, so the corpora kept in fuzz/corpus can be remade at will.
#include "imagemodule/FormatWriters.hpp"
#include "imagemodule/JpegWriter.hpp"
#include "imagemodule/TestImages.hpp"
#include "lzss/Lzss.hpp"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {

using Bytes = std::vector<uint8_t>;
using testimages::Rgb;

struct CorpusWriter {
    std::filesystem::path folder;
    int written = 0;
};

void put(CorpusWriter &writer, const std::string &target, const std::string &name,
         const Bytes &bytes) {
    std::filesystem::create_directories(writer.folder / target);
    if (testimages::writeFile((writer.folder / target / name).string(), bytes))
        ++writer.written;
}

// Bytes from a fixed linear congruential sequence.
Bytes noise(size_t count, uint32_t seed) {
    Bytes bytes(count, 0);
    for (uint8_t &byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

Bytes text(const std::string &words) {
    return Bytes(words.begin(), words.end());
}

// Sample data for the codec: empty, short, repetitive, random and tile-like.
std::vector<std::pair<std::string, Bytes>> codecSamples() {
    Bytes ramp;
    for (int i = 0; i < 1024; ++i)
        ramp.push_back(static_cast<uint8_t>(i));
    Bytes tiles;
    for (int tile = 0; tile < 24; ++tile)
        for (int row = 0; row < 32; ++row)
            tiles.push_back(static_cast<uint8_t>((tile % 5) * 0x11 ^ (row & 3)));
    return {
        {"empty", {}},
        {"one", {0x41}},
        {"text", text("the quick brown fox jumps over the lazy dog; the quick brown fox again")},
        {"zeros", Bytes(700, 0)},
        {"ramp", ramp},
        {"noise", noise(400, 7)},
        {"tiles", tiles},
    };
}

// The first byte the codec checks read: dictionary size in bits 0-1, the
// threshold above them (0..4; 5 stands for the large one, all six bits set).
uint8_t codecByte(int dictIndex, int thresholdPick) {
    return static_cast<uint8_t>(dictIndex | ((thresholdPick == 5 ? 63 : thresholdPick) << 2));
}

Bytes withFirst(uint8_t first, const Bytes &rest) {
    Bytes bytes{first};
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
}

Bytes encode(const Bytes &data, int32_t dictSize, int32_t threshold) {
    return lzssEncodeBuffer(lzssMakeSettings(threshold, dictSize), data.data(), data.size());
}

void writeCodecCorpora(CorpusWriter &writer) {
    const int32_t dictSizes[] = {512, 1024, 2048, 4096};
    int variant = 0;
    for (const auto &[name, data] : codecSamples()) {
        const int dictIndex = variant % 4;
        const int thresholdPick = variant % 6;
        ++variant;
        const uint8_t first = codecByte(dictIndex, thresholdPick);
        put(writer, "lzss_roundtrip", name, withFirst(first, data));
        if (thresholdPick == 5)
            continue; // the largest threshold is worked out by the check
        const Bytes stream = encode(data, dictSizes[dictIndex], thresholdPick);
        put(writer, "lzss_decode", name, withFirst(first, stream));
    }
    // Streams no encoder writes: matches only, a match reaching back before the
    // start, a stream cut inside a match.
    put(writer, "lzss_decode", "all-matches", withFirst(codecByte(3, 2), Bytes(34, 0)));
    put(writer, "lzss_decode", "match-before-start",
        withFirst(codecByte(0, 0), {0xFE, 'a', 0x00, 0x7F, 'b', 'c'}));
    put(writer, "lzss_decode", "cut-match", withFirst(codecByte(1, 4), {0x00, 0x12}));
    put(writer, "lzss_decode", "noise", withFirst(codecByte(2, 1), noise(300, 99)));
}

// ---------------------------------------------------------------------------
// Image files

testimages::PngPicture samplePng(int colourType, int bitDepth, uint32_t width, uint32_t height) {
    testimages::PngPicture picture =
        testimages::makePngPicture(width, height, colourType, bitDepth);
    const size_t channels = colourType == PNG_COLOR_TYPE_RGB          ? 3
                            : colourType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                            : colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                      : 1;
    const size_t sampleBytes = bitDepth == 16 ? 2 : 1;
    const int levels = bitDepth >= 8 ? 256 : 1 << bitDepth;
    for (uint32_t y = 0; y < height; ++y) {
        Bytes samples;
        for (uint32_t x = 0; x < width; ++x)
            for (size_t c = 0; c < channels * sampleBytes; ++c)
                samples.push_back(static_cast<uint8_t>((x * 37 + y * 11 + c * 5) % levels));
        picture.rows.push_back(testimages::packSamples(samples, bitDepth));
    }
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        for (int i = 0; i < levels; ++i)
            picture.palette.push_back(Rgb{static_cast<uint8_t>(i * 40), static_cast<uint8_t>(i * 7),
                                          static_cast<uint8_t>(255 - i * 3)});
    return picture;
}

void stbAppend(void *context, void *data, int size) {
    auto *out = static_cast<Bytes *>(context);
    const auto *bytes = static_cast<const uint8_t *>(data);
    out->insert(out->end(), bytes, bytes + size);
}

Bytes rgbPixels(uint32_t width, uint32_t height, int channels) {
    Bytes pixels;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                pixels.push_back(static_cast<uint8_t>(x * 29 + y * 53 + c * 80));
    return pixels;
}

Bytes pnm(const std::string &magic, uint32_t width, uint32_t height, int channels) {
    const std::string header =
        magic + "\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    Bytes out(header.begin(), header.end());
    const Bytes pixels = rgbPixels(width, height, channels);
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

void writePngSeeds(CorpusWriter &writer) {
    const struct {
        const char *name;
        int colourType;
        int bitDepth;
    } kinds[] = {
        {"palette1.png", PNG_COLOR_TYPE_PALETTE, 1},
        {"palette2.png", PNG_COLOR_TYPE_PALETTE, 2},
        {"palette4.png", PNG_COLOR_TYPE_PALETTE, 4},
        {"palette8.png", PNG_COLOR_TYPE_PALETTE, 8},
        {"grey1.png", PNG_COLOR_TYPE_GRAY, 1},
        {"grey8.png", PNG_COLOR_TYPE_GRAY, 8},
        {"grey16.png", PNG_COLOR_TYPE_GRAY, 16},
        {"greyalpha.png", PNG_COLOR_TYPE_GRAY_ALPHA, 8},
        {"rgb.png", PNG_COLOR_TYPE_RGB, 8},
        {"rgba.png", PNG_COLOR_TYPE_RGB_ALPHA, 8},
        {"rgb16.png", PNG_COLOR_TYPE_RGB, 16},
        {"rgba16.png", PNG_COLOR_TYPE_RGB_ALPHA, 16},
    };
    for (const auto &kind : kinds)
        put(writer, "image_load", kind.name,
            testimages::encodePng(samplePng(kind.colourType, kind.bitDepth, 11, 7)));
    testimages::PngPicture interlaced = samplePng(PNG_COLOR_TYPE_RGB, 8, 13, 9);
    interlaced.interlaced = true;
    put(writer, "image_load", "interlaced.png", testimages::encodePng(interlaced));
    testimages::PngPicture transparent = samplePng(PNG_COLOR_TYPE_PALETTE, 4, 9, 9);
    transparent.paletteAlpha = {0, 128, 255};
    put(writer, "image_load", "palette-trns.png", testimages::encodePng(transparent));
    testimages::PngPicture shortPalette = samplePng(PNG_COLOR_TYPE_PALETTE, 8, 6, 6);
    shortPalette.palette.resize(3); // indexes beyond the palette
    put(writer, "image_load", "short-palette.png", testimages::encodePng(shortPalette));
}

void writeOtherImageSeeds(CorpusWriter &writer) {
    put(writer, "image_load", "rgb.bmp", testimages::encodeBmp24(5, 3, rgbPixels(5, 3, 3)));
    const std::vector<Rgb> palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    Bytes indexes;
    for (int i = 0; i < 6 * 4; ++i)
        indexes.push_back(static_cast<uint8_t>(i % 4));
    put(writer, "image_load", "palette.gif", testimages::encodeGif(6, 4, palette, indexes));
    put(writer, "image_load", "grey.pgm", pnm("P5", 4, 3, 1));
    put(writer, "image_load", "rgb.ppm", pnm("P6", 3, 4, 3));
    Bytes tga;
    stbi_write_tga_to_func(stbAppend, &tga, 6, 5, 4, rgbPixels(6, 5, 4).data());
    put(writer, "image_load", "rgba.tga", tga);
    Bytes jpeg;
    stbi_write_jpg_to_func(stbAppend, &jpeg, 8, 8, 3, rgbPixels(8, 8, 3).data(), 75);
    put(writer, "image_load", "rgb.jpg", jpeg);
    Bytes bmp32;
    stbi_write_bmp_to_func(stbAppend, &bmp32, 4, 4, 4, rgbPixels(4, 4, 4).data());
    put(writer, "image_load", "rgba.bmp", bmp32);
}

// ---------------------------------------------------------------------------
// One format each: every layout its reader takes, small.

std::vector<Rgb> paletteOf(size_t entries) {
    std::vector<Rgb> palette;
    for (size_t i = 0; i < entries; ++i)
        palette.push_back(Rgb{static_cast<uint8_t>(i * 40), static_cast<uint8_t>(i * 7),
                              static_cast<uint8_t>(255 - i * 3)});
    return palette;
}

testimages::BmpPicture bmpSeed(uint32_t width, uint32_t height, uint16_t bits) {
    testimages::BmpPicture picture;
    picture.width = width;
    picture.height = height;
    picture.bitsPerPixel = bits;
    if (bits <= 8)
        picture.palette = paletteOf(size_t{1} << std::min<uint16_t>(bits, 4));
    const Bytes values = rgbPixels(width, height, 4);
    for (size_t i = 0; i < size_t{width} * height; ++i) {
        const uint32_t value = values[4 * i] | uint32_t{values[4 * i + 1]} << 8 |
                               uint32_t{values[4 * i + 2]} << 16 |
                               uint32_t{values[4 * i + 3]} << 24;
        picture.pixels.push_back(bits <= 8    ? value % picture.palette.size()
                                 : bits == 16 ? value & 0xFFFF
                                 : bits == 24 ? value & 0xFFFFFF
                                              : value);
    }
    return picture;
}

void writeBmpSeeds(CorpusWriter &writer) {
    for (uint16_t bits : {1, 4, 8, 16, 24, 32})
        put(writer, "image_bmp", "plain" + std::to_string(bits) + ".bmp",
            testimages::encodeBmp(bmpSeed(7, 3, bits)));
    testimages::BmpPicture core = bmpSeed(5, 2, 8);
    core.headerSize = 12;
    put(writer, "image_bmp", "core8.bmp", testimages::encodeBmp(core));
    testimages::BmpPicture fields = bmpSeed(5, 3, 16);
    fields.compression = 3;
    fields.masks = {0xF800, 0x07E0, 0x001F};
    put(writer, "image_bmp", "fields565.bmp", testimages::encodeBmp(fields));
    testimages::BmpPicture v5 = bmpSeed(3, 4, 32);
    v5.headerSize = 124;
    v5.compression = 3;
    v5.masks = {0xFF00, 0xFF0000, 0xFF000000, 0xFF};
    put(writer, "image_bmp", "v5-rgba.bmp", testimages::encodeBmp(v5));
    testimages::BmpPicture topDown = bmpSeed(6, 3, 4);
    topDown.topDown = true;
    topDown.writeColoursUsed = false;
    put(writer, "image_bmp", "top-down4.bmp", testimages::encodeBmp(topDown));
}

testimages::TgaPicture tgaSeed(uint8_t type, uint8_t bits, uint16_t width, uint16_t height) {
    testimages::TgaPicture picture;
    picture.imageType = type;
    picture.bitsPerPixel = bits;
    picture.width = width;
    picture.height = height;
    const Bytes pixels = rgbPixels(width, height, (bits + 7) / 8);
    for (size_t i = 0; i < pixels.size(); ++i)
        picture.pixels.push_back(pixels[i - i % 6]); // runs for the run-length packets
    return picture;
}

void writeTgaSeeds(CorpusWriter &writer) {
    const struct {
        const char *name;
        uint8_t type;
        uint8_t bits;
    } kinds[] = {{"rgb24.tga", 2, 24},  {"rgba32.tga", 2, 32},    {"rgb16.tga", 2, 16},
                 {"grey8.tga", 3, 8},   {"greyalpha.tga", 3, 16}, {"rle24.tga", 10, 24},
                 {"rle32.tga", 10, 32}, {"rle-grey.tga", 11, 8},  {"rle16.tga", 10, 15}};
    for (const auto &kind : kinds)
        put(writer, "image_tga", kind.name,
            testimages::encodeTga(tgaSeed(kind.type, kind.bits, 6, 4)));
    for (uint8_t type : {1, 9}) {
        testimages::TgaPicture mapped = tgaSeed(type, 8, 7, 3);
        mapped.mapFirst = 2;
        mapped.mapEntryBits = type == 1 ? 24 : 16;
        mapped.map = rgbPixels(5, 1, mapped.mapEntryBits / 8);
        for (uint8_t &pixel : mapped.pixels)
            pixel = static_cast<uint8_t>(2 + pixel % 5);
        mapped.topOrigin = type == 9;
        mapped.rightToLeft = type == 9;
        mapped.id = {'s', 'e', 'e', 'd'};
        put(writer, "image_tga", "mapped" + std::to_string(type) + ".tga",
            testimages::encodeTga(mapped));
    }
}

void writePnmSeeds(CorpusWriter &writer) {
    put(writer, "image_pnm", "grey.pgm", pnm("P5", 4, 3, 1));
    put(writer, "image_pnm", "rgb.ppm", pnm("P6", 3, 4, 3));
    Bytes grey16 = text("P5 # sixteen bits\n2 2\n65535\n");
    const Bytes samples = rgbPixels(2, 2, 2);
    grey16.insert(grey16.end(), samples.begin(), samples.end());
    put(writer, "image_pnm", "grey16.pgm", grey16);
}

void writePsdSeeds(CorpusWriter &writer) {
    for (uint16_t depth : {8, 16})
        for (bool runLength : {false, true})
            for (size_t channels : {3, 4}) {
                testimages::PsdPicture picture;
                picture.width = 5;
                picture.height = 3;
                picture.depth = depth;
                picture.runLength = runLength;
                for (size_t c = 0; c < channels; ++c)
                    picture.planes.push_back(noise(5 * 3 * depth / 8, static_cast<uint32_t>(c)));
                put(writer, "image_psd",
                    "rgb" + std::string(channels == 4 ? "a" : "") + std::to_string(depth) +
                        (runLength ? "-rle" : "") + ".psd",
                    testimages::encodePsd(picture));
            }
}

void writeGifSeeds(CorpusWriter &writer) {
    testimages::GifPicture picture;
    picture.screenWidth = picture.width = 6;
    picture.screenHeight = picture.height = 5;
    picture.globalTable = paletteOf(4);
    for (size_t i = 0; i < 30; ++i)
        picture.indices.push_back(static_cast<uint8_t>(i * 7 % 4));
    put(writer, "image_gif", "plain.gif", testimages::encodeGifPicture(picture));
    testimages::GifPicture interlaced = picture;
    interlaced.interlaced = true;
    interlaced.transparentIndex = 1;
    put(writer, "image_gif", "interlaced.gif", testimages::encodeGifPicture(interlaced));
    testimages::GifPicture local = picture;
    local.globalTable.clear();
    local.localTable = paletteOf(8);
    put(writer, "image_gif", "local.gif", testimages::encodeGifPicture(local));
    testimages::GifPicture inset = picture;
    inset.screenWidth = 9;
    inset.screenHeight = 8;
    inset.left = 2;
    inset.top = 3;
    inset.backgroundIndex = 2;
    put(writer, "image_gif", "inset.gif", testimages::encodeGifPicture(inset));
}

void writeJpegSeeds(CorpusWriter &writer) {
    testimages::JpegOptions grey;
    grey.components = 1;
    put(writer, "image_jpeg", "grey.jpg", testimages::encodeJpeg(rgbPixels(8, 8, 1), 8, 8, grey));
    testimages::JpegOptions full;
    full.lumaHorizontal = 1;
    full.lumaVertical = 1;
    put(writer, "image_jpeg", "444.jpg", testimages::encodeJpeg(rgbPixels(8, 8, 3), 8, 8, full));
    put(writer, "image_jpeg", "420.jpg", testimages::encodeJpeg(rgbPixels(16, 16, 3), 16, 16));
    testimages::JpegOptions progressive;
    progressive.progressive = true;
    progressive.restartRows = 1;
    put(writer, "image_jpeg", "progressive.jpg",
        testimages::encodeJpeg(rgbPixels(16, 16, 3), 16, 16, progressive));
    testimages::JpegOptions cmyk = full;
    cmyk.components = 4;
    put(writer, "image_jpeg", "ycck.jpg", testimages::encodeJpeg(rgbPixels(8, 8, 4), 8, 8, cmyk));
}

void writeFormatPngSeeds(CorpusWriter &writer) {
    const struct {
        const char *name;
        int colourType;
        int bitDepth;
    } kinds[] = {{"palette2.png", PNG_COLOR_TYPE_PALETTE, 2},
                 {"palette8.png", PNG_COLOR_TYPE_PALETTE, 8},
                 {"grey4.png", PNG_COLOR_TYPE_GRAY, 4},
                 {"grey16.png", PNG_COLOR_TYPE_GRAY, 16},
                 {"greyalpha.png", PNG_COLOR_TYPE_GRAY_ALPHA, 8},
                 {"rgb.png", PNG_COLOR_TYPE_RGB, 8},
                 {"rgba16.png", PNG_COLOR_TYPE_RGB_ALPHA, 16}};
    for (const auto &kind : kinds)
        put(writer, "image_png", kind.name,
            testimages::encodePng(samplePng(kind.colourType, kind.bitDepth, 5, 4)));
    testimages::PngPicture interlaced = samplePng(PNG_COLOR_TYPE_PALETTE, 4, 9, 9);
    interlaced.interlaced = true;
    put(writer, "image_png", "interlaced.png", testimages::encodePng(interlaced));
}

void writeFormatSeeds(CorpusWriter &writer) {
    writeBmpSeeds(writer);
    writeTgaSeeds(writer);
    writePnmSeeds(writer);
    writePsdSeeds(writer);
    writeGifSeeds(writer);
    writeJpegSeeds(writer);
    writeFormatPngSeeds(writer);
}

// ---------------------------------------------------------------------------
// Image jobs, in the order checkImageJob reads them

struct JobSeed {
    uint8_t kind = 4; // 0-3 palette at 8, 4, 2, 1 bits; 4 RGB; 5 RGBA; 6 grey; 7 grey, alpha
    uint8_t width = 16;
    uint8_t height = 16;
    uint8_t paletteEntries = 4;
    uint16_t flags = 0;
    uint8_t target = 1;          // none, sms, sgg, snes, tgx, smd, 32x
    std::vector<uint8_t> values; // the option values, in the order the flags read them
    size_t pixelBytes = 96;
};

Bytes jobBytes(const JobSeed &seed) {
    Bytes bytes{seed.kind, static_cast<uint8_t>(seed.width - 1),
                static_cast<uint8_t>(seed.height - 1)};
    if (seed.kind < 4) {
        bytes.push_back(static_cast<uint8_t>(seed.paletteEntries - 1));
        for (int i = 0; i < seed.paletteEntries; ++i)
            bytes.insert(bytes.end(), {static_cast<uint8_t>(i * 70), static_cast<uint8_t>(i * 30),
                                       static_cast<uint8_t>(200 - i * 20)});
    }
    bytes.insert(bytes.end(), {static_cast<uint8_t>(seed.flags),
                               static_cast<uint8_t>(seed.flags >> 8), seed.target});
    bytes.insert(bytes.end(), seed.values.begin(), seed.values.end());
    const Bytes pixels = noise(seed.pixelBytes, seed.flags + seed.target);
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    return bytes;
}

void writeJobSeeds(CorpusWriter &writer) {
    // Flag bits: 0 -t, 1 -opt, 2 -dither, 3 -chain, 4 -pack, 5 -autocomp,
    // 6 -code, 7 -preview, 8 -q, 9 -planes, 10 -base, 11 -bg, 12 -dict and
    // -threshold, 13 -width, -height and -sizefilter, 14 -v, 15 -format.
    const std::pair<const char *, JobSeed> seeds[] = {
        {"sms-plain", {4, 16, 16, 4, 0x0000, 1, {}, 96}},
        {"sms-opt-pack-code", {0, 24, 16, 4, 0x0052, 1, {}, 40}},
        {"sgg-transparent-bg", {1, 16, 8, 6, 0x0801, 2, {7, 9}, 64}},
        {"snes-p8-planes", {0, 32, 8, 16, 0x8200, 3, {3, 6}, 200}},
        {"snes-p2-quantise", {4, 12, 12, 4, 0x8100, 3, {1, 4}, 300}},
        {"tgx-autocomp", {5, 16, 24, 4, 0x4030, 4, {}, 120}},
        {"smd-chain-preview", {4, 20, 10, 4, 0x0088, 5, {}, 150}},
        {"smd-pack-code", {2, 16, 16, 4, 0x0050, 5, {}, 30}},
        {"32x-l8-pack", {0, 10, 6, 40, 0x0010, 6, {}, 60}},
        {"32x-d15", {4, 8, 8, 4, 0x8010, 6, {6}, 192}},
        {"dither-quantise", {4, 16, 16, 4, 0x0104, 1, {4}, 768}},
        {"base-colour", {3, 8, 8, 2, 0x0400, 1, {5}, 8}},
        {"bg-outside", {4, 8, 8, 4, 0x0801, 1, {70, 2}, 24}},
        {"codec-settings", {4, 16, 16, 4, 0x1010, 3, {0, 3}, 48}},
        {"codec-bad-values", {4, 16, 16, 4, 0x1010, 1, {4, 5}, 48}},
        {"resize-smooth", {0, 16, 16, 8, 0x2000, 1, {24, 8, 1}, 64}},
        {"resize-nearest", {4, 9, 9, 4, 0x2000, 5, {40, 0, 2}, 80}},
        {"no-target", {6, 20, 20, 4, 0x4000, 0, {}, 50}},
        {"grey-alpha", {7, 12, 12, 4, 0x0002, 4, {}, 90}},
        {"one-pixel", {4, 1, 1, 4, 0x0080, 1, {}, 3}},
        {"unsupported-format", {4, 8, 8, 4, 0x8000, 1, {4}, 30}},
    };
    for (const auto &[name, seed] : seeds)
        put(writer, "image_job", name, jobBytes(seed));
}

// ---------------------------------------------------------------------------
// Command lines

Bytes commandLine(const std::vector<std::string> &arguments) {
    Bytes bytes;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0)
            bytes.push_back(0);
        bytes.insert(bytes.end(), arguments[i].begin(), arguments[i].end());
    }
    return bytes;
}

void writeCommandLineSeeds(CorpusWriter &writer) {
    const std::pair<const char *, std::vector<std::string>> lines[] = {
        {"image-job", {"-image", "title.png", "-target", "sms", "-opt", "-pack", "-code"}},
        {"every-switch",
         {"-pack", "-unpack", "-v", "-opt", "-dither", "-t", "-image", "-bat", "-chain", "-code",
          "-lzss", "-autocomp", "in"}},
        {"values",
         {"-o",    "out.a.b",     "-preview", "p.bmp",   "-format", "l4",         "-target",
          "smd",   "-bg",         "3,4",      "-planes", "2",       "-threshold", "3",
          "-base", "1",           "-q",       "8",       "-width",  "12",         "-height",
          "9",     "-sizefilter", "1",        "-dict",   "1024",    "in.x.png"}},
        {"plain-pack", {"-pack", "-dict", "2048", "-threshold", "4", "data.bin"}},
        {"unpack-o", {"-unpack", "-o", "-v", "data.lzs"}},
        {"help", {"-h"}},
        {"help-later", {"in", "-?"}},
        {"unknown", {"-nothing", "in"}},
        {"missing-value", {"in", "-bg"}},
        {"bad-bg", {"-bg", "12", "in"}},
        {"bad-target", {"-target", "nes", "in"}},
        {"odd-numbers", {"-q", " +12x", "-dict", "-513", "-threshold", "99999999999", "in"}},
        {"two-inputs", {"a.b.c", "second"}},
        {"empty-argument", {"", "-o", "", "x"}},
        {"paths", {"-o", "dir.v/name", "some.dir/file.tar.gz"}},
    };
    for (const auto &[name, arguments] : lines)
        put(writer, "command_line", name, commandLine(arguments));
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fputs("Usage: morvik-make-corpus <folder>\n", stderr);
        return 1;
    }
    CorpusWriter writer{argv[1]};
    writeCodecCorpora(writer);
    writePngSeeds(writer);
    writeOtherImageSeeds(writer);
    writeFormatSeeds(writer);
    writeJobSeeds(writer);
    writeCommandLineSeeds(writer);
    std::printf("Wrote %d files under %s\n", writer.written, argv[1]);
    return 0;
}
