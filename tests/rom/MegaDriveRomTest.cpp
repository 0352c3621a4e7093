// The Mega Drive viewer ROM (-target smd -rom) run in mednafen: the screen it
// shows must be the source picture at three bits a component, pixel for pixel,
// and the picture's colour 0 (the backdrop) wherever the map does not reach.
#include "e2e/RunMorvik.hpp"
#include "rom/ConsoleRoms.hpp"
#include "rom/Mednafen.hpp"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using testimages::Rgb;

constexpr int kScreenWidth = 320;
constexpr int kScreenHeight = 224;
constexpr int kFrame = 40; // well after the largest picture has been unpacked

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels; // rows from the top

    Rgb &at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    const Rgb &at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Picture blankPicture(int width, int height) {
    return {width, height, std::vector<Rgb>(static_cast<size_t>(width) * height)};
}

// A colour with exact three-bit components (levels 0..7).
Rgb level(int red, int green, int blue) {
    return {static_cast<uint8_t>(red << 5), static_cast<uint8_t>(green << 5),
            static_cast<uint8_t>(blue << 5)};
}

// How mednafen shows a component: its three bits times 34.
uint8_t shown(uint8_t component) {
    return static_cast<uint8_t>((component >> 5) * 34);
}

uint32_t hashOf(uint32_t value) {
    value ^= value >> 16;
    value *= 0x7FEB352Du;
    value ^= value >> 15;
    value *= 0x846CA68Bu;
    return value ^ (value >> 16);
}

// Colour 0 of the palette file: the backdrop, big-endian 0000bbb0 ggg0rrr0.
Rgb backdropOf(const std::vector<unsigned char> &pal) {
    if (pal.size() < 2)
        return {};
    return {static_cast<uint8_t>((pal[1] & 0x0E) << 4), static_cast<uint8_t>(pal[1] & 0xE0),
            static_cast<uint8_t>((pal[0] & 0x0E) << 4)};
}

struct MegaDriveRomTest : testing::Test {
    TempDir dir;

    void paint(const std::string &name, const Picture &picture) {
        ASSERT_TRUE(testimages::writeRgbPng(dir.file(name), static_cast<uint32_t>(picture.width),
                                            static_cast<uint32_t>(picture.height), picture.pixels));
    }

    // Builds the ROM of `png` with `extra` options and checks the first screen.
    void expectScreen(const std::string &png, const Picture &source,
                      const std::vector<std::string> &extra = {}) {
        std::vector<std::string> arguments = {"-image", png,       "-target", "smd",    "-opt",
                                              "-o",     "pic.pat", "-rom",    "pic.bin"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const RunResult run = runMorvik(arguments, dir.path.string());
        ASSERT_EQ(run.status, 0) << run.output;
        ASSERT_NE(run.output.find("Writing viewer ROM to pic.bin\n"), std::string::npos)
            << run.output;
        std::printf("[ measure  ] %s: ROM %zu bytes\n", png.c_str(),
                    readFileBytes(dir.file("pic.bin")).size());
        std::string error;
        const std::optional<Frame> frame = recordFrame(dir.file("pic.bin"), kFrame, error);
        ASSERT_TRUE(frame.has_value()) << error;
        ASSERT_EQ(frame->width, 4 * kScreenWidth); // H40 recorded four times as wide
        ASSERT_EQ(frame->height, 2 * kScreenHeight);
        const Rgb backdrop = backdropOf(readFileBytes(dir.file("pic.pal")));
        int wrong = 0;
        for (int y = 0; y < kScreenHeight; ++y)
            for (int x = 0; x < kScreenWidth; ++x) {
                const bool inside = x < source.width && y < source.height;
                const Rgb want = inside ? source.at(x, y) : backdrop;
                const uint8_t *got = frame->at(4 * x, 2 * y);
                if (got[0] == shown(want.red) && got[1] == shown(want.green) &&
                    got[2] == shown(want.blue))
                    continue;
                if (++wrong <= 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": shown " << int{got[0]} << ","
                                  << int{got[1]} << "," << int{got[2]} << ", expected "
                                  << int{shown(want.red)} << "," << int{shown(want.green)} << ","
                                  << int{shown(want.blue)};
            }
        EXPECT_EQ(wrong, 0);
    }
};

Picture loadPng(const std::string &path) {
    const std::optional<Frame> frame = decodePngFrame(readFileBytes(path));
    Picture picture;
    if (!frame)
        return picture;
    picture = blankPicture(frame->width, frame->height);
    for (int y = 0; y < frame->height; ++y)
        for (int x = 0; x < frame->width; ++x) {
            const uint8_t *p = frame->at(x, y);
            picture.at(x, y) = {p[0], p[1], p[2]};
        }
    return picture;
}

// Tile `pattern` at tile position (tx, ty), mirrored as asked, its pixels
// chosen by a hash from `colours`.
void drawTile(Picture &picture, int tx, int ty, uint32_t pattern, bool h, bool v,
              const std::vector<Rgb> &colours) {
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const uint32_t index = hashOf(pattern * 64 + static_cast<uint32_t>(y * 8 + x));
            picture.at(tx * 8 + (h ? 7 - x : x), ty * 8 + (v ? 7 - y : y)) =
                colours[index % colours.size()];
        }
}

std::vector<Rgb> sixteenColours() {
    std::vector<Rgb> colours;
    for (int i = 0; i < 16; ++i)
        colours.push_back(level(i & 7, (i * 3) & 7, 7 - (i >> 1)));
    return colours;
}

TEST_F(MegaDriveRomTest, TitlePicture) {
    const std::string title = std::string(MORVIK_SOURCE_DIR) + "/examples/title.png";
    const Picture source = loadPng(title);
    ASSERT_EQ(source.width, 256);
    expectScreen(title, source);
}

// 400 patterns, then their mirror images in every direction: tile numbers
// above 255 and every mirror bit.
TEST_F(MegaDriveRomTest, MirroredTilesAndHighTileNumbers) {
    Picture source = blankPicture(kScreenWidth, kScreenHeight);
    const std::vector<Rgb> colours = sixteenColours();
    for (int t = 0; t < 40 * 28; ++t) {
        const int mirror = t < 400 ? 0 : 1 + t % 3;
        drawTile(source, t % 40, t / 40, static_cast<uint32_t>(t % 400), (mirror & 1) != 0,
                 (mirror & 2) != 0, colours);
    }
    paint("mirrors.png", source);
    const RunResult check =
        runMorvik({"-image", "mirrors.png", "-target", "smd", "-opt", "-v"}, dir.path.string());
    EXPECT_NE(check.output.find("Found 400 unique tiles (of 1120)."), std::string::npos)
        << check.output;
    expectScreen("mirrors.png", source);
}

// Three colours: the patterns still hold four bits a pixel.
TEST_F(MegaDriveRomTest, FewColours) {
    Picture source = blankPicture(kScreenWidth, kScreenHeight);
    const std::vector<Rgb> colours = {level(0, 0, 0), level(7, 7, 7), level(5, 1, 2)};
    for (int t = 0; t < 40 * 28; ++t)
        drawTile(source, t % 40, t / 40, static_cast<uint32_t>(t % 97), false, false, colours);
    paint("few.png", source);
    expectScreen("few.png", source);
}

// Four sets of 15 colours on black, a quarter of the screen each: all four
// CRAM lines, chosen by bits 14..13 of the name entries.
TEST_F(MegaDriveRomTest, FourSubPalettes) {
    Picture source = blankPicture(kScreenWidth, kScreenHeight);
    for (int t = 0; t < 40 * 28; ++t) {
        const int tx = t % 40, ty = t / 40;
        const int set = (tx / 20) + 2 * (ty / 14);
        std::vector<Rgb> colours = {level(0, 0, 0)};
        for (int j = 1; j < 16; ++j)
            colours.push_back(level(2 * set + (j >> 3), j & 7, (set + j) & 7));
        drawTile(source, tx, ty, static_cast<uint32_t>(t), false, false, colours);
    }
    source.at(0, 0) = level(0, 0, 0); // the shared colour 0
    paint("sets.png", source);
    const RunResult check = runMorvik(
        {"-image", "sets.png", "-target", "smd", "-opt", "-palettes", "4"}, dir.path.string());
    ASSERT_NE(check.output.find("Using 4 sub-palettes (exact)."), std::string::npos)
        << check.output;
    expectScreen("sets.png", source, {"-palettes", "4"});
}

// 600 x 256: wider than the 64-column plane and taller than the screen; the
// viewer shows its top-left corner.
TEST_F(MegaDriveRomTest, LargerThanTheScreen) {
    Picture source = blankPicture(600, 256);
    const std::vector<Rgb> colours = sixteenColours();
    for (int ty = 0; ty < 32; ++ty)
        for (int tx = 0; tx < 75; ++tx)
            drawTile(source, tx, ty, static_cast<uint32_t>((tx * 7 + ty * 13) % 150), false, false,
                     colours);
    paint("wide.png", source);
    expectScreen("wide.png", source);
}

// 1800 tiles, none the mirror image of another: one more than the 1791 that
// fit below the name table, so no file is written.
TEST_F(MegaDriveRomTest, TooManyTilesIsAnError) {
    Picture source = blankPicture(480, 240);
    for (int t = 0; t < 1800; ++t) {
        const int tx = t % 60, ty = t / 60;
        for (int x = 0; x < 8; ++x) {
            if ((t >> x) & 1)
                source.at(tx * 8 + x, ty * 8) = level(7, 7, 7);
            if ((t >> (8 + x)) & 1)
                source.at(tx * 8 + x, ty * 8 + 1) = level(7, 7, 7);
        }
        source.at(tx * 8, ty * 8 + 7) = level(7, 7, 7); // no tile is symmetric
    }
    paint("many.png", source);
    const RunResult run = runMorvik(
        {"-image", "many.png", "-target", "smd", "-opt", "-o", "many.pat", "-rom", "many.bin"},
        dir.path.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(
        run.output.find(
            "Error: The picture needs 1800 tiles; the Mega Drive viewer holds at most 1791.\n"),
        std::string::npos)
        << run.output;
    EXPECT_FALSE(fileExists(dir.file("many.bin")));
    EXPECT_FALSE(fileExists(dir.file("many.pat")));
}

// The header the console's boot code and emulators read, and its checksum.
TEST(MegaDriveRom, HeaderAndChecksum) {
    RomPicture picture;
    picture.columns = 1;
    picture.rows = 1;
    picture.tileCount = 1;
    picture.palette = {0x0E, 0xEE, 0x00, 0x00};
    picture.names = {0x00, 0x00};
    picture.patterns.assign(32, 0x12);
    ASSERT_EQ(megaDriveRomProblem(picture), "");
    const std::vector<uint8_t> rom = buildMegaDriveRom(picture);
    ASSERT_EQ(rom.size(), 0x20000u);
    EXPECT_EQ(std::string(rom.begin() + 0x100, rom.begin() + 0x110), "SEGA MEGA DRIVE ");
    uint32_t sum = 0;
    for (size_t at = 0x200; at < rom.size(); at += 2)
        sum += uint32_t{rom[at]} << 8 | rom[at + 1];
    EXPECT_EQ(rom[0x18E], (sum >> 8) & 0xFF);
    EXPECT_EQ(rom[0x18F], sum & 0xFF);
    EXPECT_EQ(rom[0x1A4] << 24 | rom[0x1A5] << 16 | rom[0x1A6] << 8 | rom[0x1A7], 0x1FFFF);
}

// A map that leaves no room in the 4 MB the cartridge area holds.
TEST(MegaDriveRom, MapTooLargeForTheRom) {
    RomPicture picture;
    picture.columns = 2048;
    picture.rows = 1024;
    picture.tileCount = 1;
    picture.palette = {0x00, 0x00};
    picture.names.assign(size_t{2048} * 1024 * 2, 0);
    picture.patterns.assign(32, 0);
    const std::string problem = megaDriveRomProblem(picture);
    EXPECT_EQ(problem.rfind("Error: The picture's map takes 4194304 bytes; the Mega Drive viewer's "
                            "4 MB ROM has room for ",
                            0),
              0u)
        << problem;
}

} // namespace
