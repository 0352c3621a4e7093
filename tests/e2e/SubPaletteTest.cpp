// Sub-palettes through the built binary. The pictures are rebuilt from .pal,
// .nam and .pat by a decoder written here from the consoles' layouts, and
// compared with the source at the console's colour depth.
#include "e2e/RunMorvik.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>

namespace testimages {
// Found by argument lookup when pictures are compared.
bool operator==(const Rgb &a, const Rgb &b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}
} // namespace testimages

namespace {

using testimages::Rgb;
using Bytes = std::vector<unsigned char>;
using Picture = testimages::RgbRows; // rows from the top

struct Console {
    const char *name;
    int componentBits;
    int palettes; // the most the name table can choose
};

const Console kConsoles[] = {
    {"sms", 2, 2}, {"sgg", 4, 2}, {"snes", 5, 8}, {"tgx", 3, 16}, {"smd", 3, 4},
};

uint8_t cut(uint8_t v, int bits) {
    return static_cast<uint8_t>((v >> (8 - bits)) << (8 - bits));
}

Rgb cut(const Rgb &c, int bits) {
    return {cut(c.red, bits), cut(c.green, bits), cut(c.blue, bits)};
}

// Colour word i of the palette file, back to 8-bit components (low bits zero).
Rgb paletteColour(const std::string &console, const Bytes &pal, size_t i) {
    if (console == "sms") {
        const uint8_t w = pal[i];
        return {static_cast<uint8_t>((w & 3) << 6), static_cast<uint8_t>(((w >> 2) & 3) << 6),
                static_cast<uint8_t>(((w >> 4) & 3) << 6)};
    }
    const uint32_t lo = pal[2 * i], hi = pal[2 * i + 1];
    if (console == "sgg")
        return {static_cast<uint8_t>((lo & 0x0F) << 4), static_cast<uint8_t>(lo & 0xF0),
                static_cast<uint8_t>((hi & 0x0F) << 4)};
    if (console == "smd") // big-endian 0000bbb0 ggg0rrr0
        return {static_cast<uint8_t>((hi & 0x0E) << 4), static_cast<uint8_t>(hi & 0xE0),
                static_cast<uint8_t>((lo & 0x0E) << 4)};
    const uint32_t w = lo | hi << 8;
    if (console == "tgx") // green 8..6, red 5..3, blue 2..0
        return {static_cast<uint8_t>(((w >> 3) & 7) << 5),
                static_cast<uint8_t>(((w >> 6) & 7) << 5), static_cast<uint8_t>((w & 7) << 5)};
    return {static_cast<uint8_t>((w & 31) << 3), static_cast<uint8_t>(((w >> 5) & 31) << 3),
            static_cast<uint8_t>(((w >> 10) & 31) << 3)};
}

struct Entry {
    uint32_t tile, palette;
    bool h, v;
};

Entry nameEntry(const std::string &console, const Bytes &nam, size_t i) {
    const uint32_t a = nam[2 * i], b = nam[2 * i + 1];
    if (console == "smd") {
        const uint32_t w = a << 8 | b;
        return {w & 0x7FF, (w >> 13) & 3, (w >> 11 & 1) != 0, (w >> 12 & 1) != 0};
    }
    const uint32_t w = a | b << 8;
    if (console == "snes")
        return {w & 0x3FF, (w >> 10) & 7, (w >> 14 & 1) != 0, (w >> 15 & 1) != 0};
    if (console == "tgx")
        return {w & 0xFFF, w >> 12, false, false};
    return {w & 0x1FF, (w >> 11) & 1, (w >> 9 & 1) != 0, (w >> 10 & 1) != 0}; // sms, sgg
}

// Pixel (x, y) of stored tile t: four planes (sms interleaved, snes and tgx
// in pairs), or two 4-bit pixels a byte (smd).
uint32_t patternPixel(const std::string &console, const Bytes &pat, uint32_t t, int x, int y) {
    const size_t base = size_t{t} * 32;
    if (console == "smd") {
        const uint8_t byte = pat[base + 4 * y + x / 2];
        return x % 2 == 0 ? byte >> 4 : byte & 0x0F;
    }
    uint32_t value = 0;
    for (int k = 0; k < 4; ++k) {
        const size_t at = console == "sms" || console == "sgg"
                              ? base + 4 * y + k
                              : base + (k / 2) * 16 + 2 * y + k % 2;
        value |= ((pat[at] >> (7 - x)) & 1u) << k;
    }
    return value;
}

Picture rebuild(const std::string &console, const Bytes &pal, const Bytes &nam, const Bytes &pat,
                int columns, int rows) {
    Picture picture(static_cast<size_t>(rows) * 8,
                    std::vector<Rgb>(static_cast<size_t>(columns) * 8));
    for (int ty = 0; ty < rows; ++ty)
        for (int tx = 0; tx < columns; ++tx) {
            const Entry e = nameEntry(console, nam, static_cast<size_t>(ty * columns + tx));
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    const uint32_t v =
                        patternPixel(console, pat, e.tile, e.h ? 7 - x : x, e.v ? 7 - y : y);
                    picture[ty * 8 + y][tx * 8 + x] =
                        paletteColour(console, pal, e.palette * 16 + v);
                }
        }
    return picture;
}

struct SubPaletteTest : testing::Test {
    TempDir dir;
    void paint(const std::string &name, const Picture &picture) {
        ASSERT_TRUE(testimages::writeRgbRowsPng(dir.file(name), picture));
    }
    RunResult run(const std::vector<std::string> &arguments) {
        return runMorvik(arguments, dir.path);
    }
    Bytes file(const std::string &name) { return readFileBytes(dir.file(name)); }
    Picture rebuilt(const Console &c, const std::string &stem, const Picture &source) {
        return rebuild(c.name, file(stem + ".pal"), file(stem + ".nam"), file(stem + ".pat"),
                       static_cast<int>(source[0].size() / 8), static_cast<int>(source.size() / 8));
    }
};

// Colour i of set g (0..2): ten colours a set, distinct at two bits a
// component, none black (black is the shared background).
Rgb setColour(int g, int i) {
    const int n = 1 + g * 10 + i; // 1..30 of the 64 two-bit colours
    return {static_cast<uint8_t>((n & 3) * 85), static_cast<uint8_t>(((n >> 2) & 3) * 85),
            static_cast<uint8_t>(((n >> 4) & 3) * 85)};
}

// Six tiles in a row; tiles 2g and 2g + 1 use set g, every fifth pixel black.
// Every tile has the same shape, so all six share one pattern.
Picture threeSets() {
    Picture picture(8, std::vector<Rgb>(48));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 48; ++x)
            picture[y][x] =
                (x % 8 + y) % 5 == 0 ? Rgb{0, 0, 0} : setColour(x / 16, ((x % 8) * 3 + y * 7) % 10);
    return picture;
}

TEST_F(SubPaletteTest, DisjointSetsPackExactlyWhereThreePalettesFit) {
    const Picture source = threeSets();
    paint("three.png", source);
    for (const Console &c : kConsoles) {
        SCOPED_TRACE(c.name);
        RunResult r = run({"-image", "three.png", "-target", c.name, "-opt", "-palettes", "8",
                           "-planes", "4", "-o", "out.pat"});
        ASSERT_EQ(r.status, 0) << r.output;
        if (c.palettes < 3) { // sms and sgg: two palettes cannot hold three sets of ten
            EXPECT_NE(r.output.find("Warning: At most 2 sub-palettes on this target. Using 2.\n"),
                      std::string::npos);
            EXPECT_NE(r.output.find("Warning: The tiles' colours do not fit 2 sub-palettes of 16 "
                                    "colours.\nNeuQuant"),
                      std::string::npos)
                << r.output;
            EXPECT_NE(r.output.find("Using 2 sub-palettes (quantised).\n"), std::string::npos);
            continue;
        }
        EXPECT_NE(r.output.find("Using 3 sub-palettes (exact).\n"), std::string::npos) << r.output;
        EXPECT_EQ(file("out.pal").size(), (c.name == std::string("sms") ? 1u : 2u) * 3 * 16);
        EXPECT_EQ(file("out.pat").size(), 32u); // one pattern, three palettes
        Picture expected = source;
        for (auto &row : expected)
            for (Rgb &pixel : row)
                pixel = cut(pixel, c.componentBits);
        EXPECT_EQ(rebuilt(c, "out", source), expected);
    }
}

TEST_F(SubPaletteTest, OneShapeInTwoColourSetsIsOnePatternWithTwoPaletteNumbers) {
    Picture picture(8, std::vector<Rgb>(16));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            picture[y][x] =
                (x % 8 + y) % 3 == 0 ? Rgb{0, 0, 0} : setColour(x / 8, (x % 8 + y) % 10);
    paint("two.png", picture);
    RunResult r = run({"-image", "two.png", "-target", "smd", "-opt", "-palettes", "2"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(file("two.png.pat").size(), 32u);
    const Bytes nam = file("two.png.nam");
    ASSERT_EQ(nam.size(), 4u);
    EXPECT_EQ(nameEntry("smd", nam, 0).tile, nameEntry("smd", nam, 1).tile);
    EXPECT_EQ(nameEntry("smd", nam, 0).palette, 0u);
    EXPECT_EQ(nameEntry("smd", nam, 1).palette, 1u);
}

TEST_F(SubPaletteTest, CrowdedTileIsNamedAndOnePaletteIsUnchanged) {
    Picture picture(16, std::vector<Rgb>(16, Rgb{0, 0, 0}));
    for (int i = 0; i < 20; ++i) // tile at 8,8: twenty colours
        picture[8 + i / 8][8 + i % 8] = Rgb{static_cast<uint8_t>(i * 12), 40, 200};
    paint("busy.png", picture);
    RunResult r = run({"-image", "busy.png", "-target", "snes", "-palettes", "4"});
    EXPECT_NE(r.output.find("Warning: Tile at 8,8 has 21 colours; more than the 15 a sub-palette "
                            "holds.\n"),
              std::string::npos)
        << r.output;
    // -palettes 1 is today's conversion, byte for byte.
    ASSERT_EQ(run({"-image", "busy.png", "-target", "snes", "-o", "a.pat"}).status, 0);
    ASSERT_EQ(
        run({"-image", "busy.png", "-target", "snes", "-palettes", "1", "-o", "b.pat"}).status, 0);
    for (const char *ext : {".pal", ".nam", ".pat"})
        EXPECT_EQ(file(std::string("a") + ext), file(std::string("b") + ext)) << ext;
}

TEST_F(SubPaletteTest, RefusalsAndWarnings) {
    paint("three.png", threeSets());
    RunResult base =
        run({"-image", "three.png", "-target", "snes", "-palettes", "2", "-base", "1"});
    EXPECT_EQ(base.output, "\nError: -base cannot be used with more than one sub-palette: each has "
                           "its own colour 0.\n");
    EXPECT_EQ(base.status, 1);
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"-target", "32x"}, {"-target", "snes", "-format", "p8"}}) {
        std::vector<std::string> arguments = {"-image", "three.png", "-palettes", "4"};
        arguments.insert(arguments.end(), args.begin(), args.end());
        EXPECT_EQ(run(arguments).output.rfind("\nWarning: -palettes needs palette bits in the name "
                                              "table; this target and format have none. "
                                              "Ignored.\n",
                                              0),
                  0u);
    }
}

// The preview as it shows on the console, at the console's depth.
Picture previewPicture(const Bytes &bmp, int width, int height, int bits) {
    Picture picture(static_cast<size_t>(height), std::vector<Rgb>(static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t e = bmp[1078 + static_cast<size_t>(height - 1 - y) * width + x];
            picture[y][x] =
                cut(Rgb{bmp[54 + 4 * e + 2], bmp[54 + 4 * e + 1], bmp[54 + 4 * e]}, bits);
        }
    return picture;
}

double meanSquaredError(const Picture &a, const Picture &b, int bits) {
    double sum = 0;
    for (size_t y = 0; y < a.size(); ++y)
        for (size_t x = 0; x < a[y].size(); ++x) {
            const Rgb p = cut(a[y][x], bits), q = b[y][x];
            sum += (p.red - q.red) * (p.red - q.red) + (p.green - q.green) * (p.green - q.green) +
                   (p.blue - q.blue) * (p.blue - q.blue);
        }
    return sum / static_cast<double>(a.size() * a[0].size());
}

// Smooth regions of different hues, as in a photo; and pixel art of 48
// colours in six regions of eight.
Picture photo() {
    Picture picture(64, std::vector<Rgb>(64));
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const int region = (y / 32) * 2 + x / 32;
            const uint8_t ramp = static_cast<uint8_t>(((x % 32) + (y % 32)) * 4);
            const Rgb colours[4] = {
                {ramp, 40, 20}, {20, ramp, 60}, {30, 50, ramp}, {ramp, ramp, 90}};
            picture[y][x] = colours[region];
        }
    return picture;
}

Picture pixelArt() {
    Picture picture(48, std::vector<Rgb>(64));
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const int region = (y / 16) * 2 + x / 32;
            const int shade = (x / 2 + y / 3) % 8;
            picture[y][x] = {static_cast<uint8_t>(region * 40 + shade * 4),
                             static_cast<uint8_t>(255 - region * 30 - shade * 8),
                             static_cast<uint8_t>(shade * 30)};
        }
    return picture;
}

TEST_F(SubPaletteTest, QuantisedSubPalettesBeatOnePalette) {
    const struct {
        const char *name;
        Picture picture;
    } cases[] = {{"photo.png", photo()}, {"art.png", pixelArt()}};
    for (const auto &c : cases) {
        paint(c.name, c.picture);
        const int width = static_cast<int>(c.picture[0].size());
        const int height = static_cast<int>(c.picture.size());
        double error[2] = {};
        const char *palettes[2] = {"1", "8"};
        for (int k = 0; k < 2; ++k) {
            RunResult r = run({"-image", c.name, "-target", "snes", "-palettes", palettes[k],
                               "-preview", "view.bmp", "-o", "out.pat"});
            ASSERT_EQ(r.status, 0) << r.output;
            error[k] =
                meanSquaredError(c.picture, previewPicture(file("view.bmp"), width, height, 5), 5);
        }
        RecordProperty(std::string(c.name) + " one palette", std::to_string(error[0]));
        RecordProperty(std::string(c.name) + " eight palettes", std::to_string(error[1]));
        std::printf("%s: mean squared error %.1f with one palette, %.1f with eight\n", c.name,
                    error[0], error[1]);
        EXPECT_LT(error[1], error[0] / 2) << c.name;
    }
}

} // namespace
