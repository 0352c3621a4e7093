// The PC Engine viewer ROM (-target tgx -rom), run in mednafen: the first
// screen must match the source picture at three bits a component.
#include "e2e/RunMorvik.hpp"
#include "rom/Mednafen.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

using testimages::Rgb;
using Picture = testimages::RgbRows; // rows from the top

constexpr int kScreenWidth = 256;
constexpr int kScreenHeight = 224;
constexpr int kTopLine = 7;    // the picture's first line in mednafen's recording
constexpr int kColumnStep = 4; // a 5 MHz dot is four recorded columns
constexpr int kFrame = 60;     // well after the largest picture is loaded

// Mednafen shows a three-bit level as level x 36.
uint8_t level(uint8_t v) {
    return static_cast<uint8_t>((v >> 5) * 36);
}

Rgb consoleColour(const Rgb &c) {
    return {level(c.red), level(c.green), level(c.blue)};
}

// Colour word 0 of the .pal file: what transparent and blank tiles show.
Rgb backdrop(const std::vector<unsigned char> &pal) {
    const uint32_t w = pal.size() >= 2 ? pal[0] | uint32_t{pal[1]} << 8 : 0;
    return {static_cast<uint8_t>(((w >> 3) & 7) * 36), static_cast<uint8_t>(((w >> 6) & 7) * 36),
            static_cast<uint8_t>((w & 7) * 36)};
}

// Level v (0..7) as an 8-bit component whose top three bits are v.
uint8_t component(int v) {
    return static_cast<uint8_t>(v * 36);
}

Rgb colourOf(int n) { // n: 0..511, distinct at three bits
    return {component(n & 7), component((n >> 3) & 7), component((n >> 6) & 7)};
}

// A little generator, so every run paints the same pictures.
struct Random {
    uint32_t state;
    uint32_t next() {
        state = state * 1103515245u + 12345u;
        return state >> 16;
    }
};

struct PceRomTest : testing::Test {
    TempDir dir;

    void paint(const std::string &name, const Picture &picture) {
        ASSERT_TRUE(testimages::writeRgbRowsPng(dir.file(name), picture));
    }

    // Runs morvik on the picture file, writing s.pce.
    void makeRom(const std::string &name, const std::vector<std::string> &extra) {
        std::vector<std::string> arguments{"-image", name,    "-target", "tgx",  "-opt",
                                           "-o",     "s.pat", "-rom",    "s.pce"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const RunResult r = runMorvik(arguments, dir.path);
        ASSERT_EQ(r.status, 0) << r.output;
        ASSERT_NE(r.output.find("Writing viewer ROM to s.pce\n"), std::string::npos) << r.output;
        output = r.output;
    }

    // Runs s.pce and compares frame `index` with the source seen from (left, top).
    void expectScreen(const Picture &source, int index = kFrame, int left = 0, int top = 0) {
        std::string error;
        const std::optional<Frame> frame = recordFrame(dir.file("s.pce"), index, error);
        ASSERT_TRUE(frame) << error;
        ASSERT_EQ(frame->width, kScreenWidth * kColumnStep);
        ASSERT_GE(frame->height, kTopLine + kScreenHeight);
        const Rgb blank = backdrop(readFileBytes(dir.file("s.pal")));
        const int width = static_cast<int>(source[0].size());
        const int height = static_cast<int>(source.size());
        int wrong = 0;
        std::string first;
        for (int y = 0; y < kScreenHeight; ++y)
            for (int x = 0; x < kScreenWidth; ++x) {
                const bool inside = top + y < height && left + x < width;
                const Rgb want = inside ? consoleColour(source[top + y][left + x]) : blank;
                const uint8_t *got = frame->at(x * kColumnStep, y + kTopLine);
                if (got[0] == want.red && got[1] == want.green && got[2] == want.blue)
                    continue;
                if (wrong++ == 0) {
                    char text[128];
                    std::snprintf(text, sizeof text, "at %d,%d: %d %d %d, expected %d %d %d", x, y,
                                  got[0], got[1], got[2], want.red, want.green, want.blue);
                    first = text;
                }
            }
        EXPECT_EQ(wrong, 0) << "first difference " << first;
    }

    void expectShown(const std::string &name, const Picture &source,
                     const std::vector<std::string> &extra = {}) {
        makeRom(name, extra);
        if (!HasFatalFailure())
            expectScreen(source);
    }

    std::string output;
};

Picture blankPicture(int width, int height) {
    return Picture(static_cast<size_t>(height), std::vector<Rgb>(static_cast<size_t>(width)));
}

// Tile (tx, ty) painted with pattern `seed` in the given colours.
void paintTile(Picture &picture, int tx, int ty, uint32_t seed, const std::vector<Rgb> &colours) {
    Random random{seed * 2654435761u + 1};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            picture[ty * 8 + y][tx * 8 + x] = colours[random.next() % colours.size()];
}

std::vector<Rgb> coloursFrom(int first, int count) {
    std::vector<Rgb> colours;
    for (int i = 0; i < count; ++i)
        colours.push_back(colourOf((first + i * 37) % 512)); // 37 is odd: all distinct
    return colours;
}

TEST_F(PceRomTest, TitleExampleIsShownExactly) {
    const auto png = readFileBytes(std::string(MORVIK_SOURCE_DIR) + "/examples/title.png");
    const std::optional<Frame> title = decodePngFrame(png);
    ASSERT_TRUE(title);
    Picture source = blankPicture(title->width, title->height);
    for (int y = 0; y < title->height; ++y)
        for (int x = 0; x < title->width; ++x) {
            const uint8_t *p = title->at(x, y);
            source[y][x] = {p[0], p[1], p[2]};
        }
    testimages::writeFile(dir.file("title.png"), png);
    expectShown("title.png", source);
}

// 896 tiles, every one different (tile numbers up to 895 in the map) apart
// from a column of left-right mirrors, which the console cannot mirror and
// stores as tiles of their own.
TEST_F(PceRomTest, ManyTilesAndMirroredOnesAreShownExactly) {
    Picture source = blankPicture(256, 224);
    const std::vector<Rgb> colours = coloursFrom(3, 16);
    for (int ty = 0; ty < 28; ++ty)
        for (int tx = 0; tx < 32; ++tx)
            paintTile(source, tx, ty, static_cast<uint32_t>(ty * 32 + tx), colours);
    for (int y = 0; y < 224; ++y) // column 31 mirrors column 30
        for (int x = 0; x < 8; ++x)
            source[y][248 + x] = source[y][247 - x];
    paint("many.png", source);
    expectShown("many.png", source);
    EXPECT_NE(output.find("Using 4 bitplanes"), std::string::npos) << output;
    EXPECT_EQ(readFileBytes(dir.file("s.pat")).size(), 896u * 32);
}

// Two and six colours: one and three planes stored, four shown.
TEST_F(PceRomTest, FewColoursAreWidenedToFourPlanes) {
    for (const int count : {2, 6}) {
        SCOPED_TRACE(count);
        Picture source = blankPicture(128, 64);
        const std::vector<Rgb> colours = coloursFrom(100, count);
        for (int ty = 0; ty < 8; ++ty)
            for (int tx = 0; tx < 16; ++tx)
                paintTile(source, tx, ty, static_cast<uint32_t>(ty * 16 + tx), colours);
        paint("few.png", source);
        expectShown("few.png", source);
        const std::string planes = count == 2 ? "Using 1 bitplanes" : "Using 3 bitplanes";
        EXPECT_NE(output.find(planes), std::string::npos) << output;
    }
}

// Twelve sets of ten colours, one set a tile row: twelve sub-palettes, exact.
TEST_F(PceRomTest, SubPalettesAreShownExactly) {
    Picture source = blankPicture(256, 96);
    for (int ty = 0; ty < 12; ++ty) {
        std::vector<Rgb> colours;
        for (int i = 0; i < 10; ++i)
            colours.push_back(colourOf(1 + ty * 10 + i));
        colours.push_back(Rgb{}); // the shared background colour
        for (int tx = 0; tx < 32; ++tx)
            paintTile(source, tx, ty, static_cast<uint32_t>(ty * 32 + tx), colours);
    }
    paint("sets.png", source);
    expectShown("sets.png", source, {"-palettes", "16"});
    EXPECT_NE(output.find("Using 12 sub-palettes (exact).\n"), std::string::npos) << output;
}

// A map larger than the screen.
Picture largePicture(int width, int height) {
    Picture source = blankPicture(width, height);
    const std::vector<Rgb> colours = coloursFrom(7, 16);
    for (int ty = 0; ty < height / 8; ++ty)
        for (int tx = 0; tx < width / 8; ++tx)
            paintTile(source, tx, ty, static_cast<uint32_t>((tx * 7 + ty * 13) % 600), colours);
    return source;
}

// 80 x 50 tiles: a 128 x 64 name table.
TEST_F(PceRomTest, LargerPictureShowsItsFirstScreen) {
    const Picture source = largePicture(640, 400);
    paint("large.png", source);
    expectShown("large.png", source);
}

// The joypad is read as "right and down held" in a copy of the ROM: the view
// moves two pixels a frame and stops at the map's bottom-right corner.
TEST_F(PceRomTest, JoypadScrollsToTheMapsCorner) {
    const Picture source = largePicture(320, 256); // 64 and 32 pixels more than the screen
    paint("large.png", source);
    makeRom("large.png", {});
    ASSERT_FALSE(HasFatalFailure());
    std::vector<unsigned char> rom = readFileBytes(dir.file("s.pce"));
    // lda $1000; eor #$FF; and #$0F  becomes  lda $1000; lda #$06; and #$0F
    const std::vector<unsigned char> read{0xAD, 0x00, 0x10, 0x49, 0xFF, 0x29, 0x0F};
    const auto at = std::search(rom.begin(), rom.begin() + 8192, read.begin(), read.end());
    ASSERT_NE(at, rom.begin() + 8192);
    at[3] = 0xA9;
    at[4] = 0x06;
    writeFileBytes(dir.file("s.pce"), rom);
    expectScreen(source, kFrame + 20, 320 - 256, 256 - 224);
}

TEST_F(PceRomTest, TooManyTilesIsAnErrorAndNothingIsWritten) {
    Picture source = blankPicture(512, 256); // 2048 different tiles
    const std::vector<Rgb> colours = coloursFrom(5, 16);
    for (int ty = 0; ty < 32; ++ty)
        for (int tx = 0; tx < 64; ++tx)
            paintTile(source, tx, ty, static_cast<uint32_t>(ty * 64 + tx), colours);
    paint("huge.png", source);
    const RunResult r = runMorvik(
        {"-image", "huge.png", "-target", "tgx", "-opt", "-o", "s.pat", "-rom", "s.pce"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Error: The picture needs 2048 tiles; the PC Engine viewer holds at "
                            "most 1983"),
              std::string::npos)
        << r.output;
    EXPECT_FALSE(fileExists(dir.file("s.pce")));
    EXPECT_FALSE(fileExists(dir.file("s.pal")));
}

} // namespace
