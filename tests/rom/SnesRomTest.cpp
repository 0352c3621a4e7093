// The Super NES viewer ROM run in mednafen: the screen it shows must be the
// source picture's top-left 256x224 pixels at five bits a component, the
// backdrop (palette entry 0) where the picture ends.
#include "e2e/RunMorvik.hpp"
#include "rom/Mednafen.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <random>

namespace {

using testimages::Rgb;
using Bytes = std::vector<unsigned char>;
using Picture = testimages::RgbRows; // rows from the top

constexpr int kScreenWidth = 256;
constexpr int kScreenHeight = 224;
constexpr int kFrame = 12; // the picture is stable from frame 4 on

uint8_t cut(uint8_t v) {
    return static_cast<uint8_t>(v & 0xF8);
}

Rgb cut(const Rgb &c) {
    return {cut(c.red), cut(c.green), cut(c.blue)};
}

// Colour word 0 of the palette file: 0bbbbbgg gggrrrrr, little-endian.
Rgb backdrop(const Bytes &pal) {
    if (pal.size() < 2)
        return {};
    const uint32_t w = pal[0] | uint32_t{pal[1]} << 8;
    return {static_cast<uint8_t>((w & 31) << 3), static_cast<uint8_t>(((w >> 5) & 31) << 3),
            static_cast<uint8_t>(((w >> 10) & 31) << 3)};
}

// A seeded generator, so every run paints the same pictures (mt19937's
// sequence is fixed by the standard).
struct Random {
    std::mt19937 engine;
    explicit Random(uint32_t seed) : engine(seed) {}
    uint32_t next(uint32_t bound) { return static_cast<uint32_t>(engine() % bound); }
};

// Sixteen colours exact at five bits and distinct there; colour 0 black.
Rgb colour16(uint32_t i) {
    return {static_cast<uint8_t>((i * 37 % 32) * 8), static_cast<uint8_t>((i * 11 % 32) * 8),
            static_cast<uint8_t>((i * 5 + 3 * (i > 0)) % 32 * 8)};
}

using Tile = std::array<std::array<uint8_t, 8>, 8>;

std::vector<Tile> randomTiles(size_t count, uint32_t colours, uint32_t seed) {
    Random random(seed);
    std::vector<Tile> tiles(count);
    for (Tile &tile : tiles)
        for (auto &row : tile)
            for (uint8_t &pixel : row)
                pixel = static_cast<uint8_t>(random.next(colours));
    return tiles;
}

// A picture of columns x rows cells; cell c shows tile pick(c), mirrored by
// flip(c) (bit 0 across, bit 1 down).
template <typename Pick, typename Flip>
Picture tiledPicture(const std::vector<Tile> &tiles, int columns, int rows, Pick pick, Flip flip) {
    Picture picture(static_cast<size_t>(rows) * 8,
                    std::vector<Rgb>(static_cast<size_t>(columns) * 8));
    for (int c = 0; c < columns * rows; ++c) {
        const Tile &tile = tiles[pick(c) % tiles.size()];
        const int f = flip(c);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                picture[(c / columns) * 8 + y][(c % columns) * 8 + x] =
                    colour16(tile[f & 2 ? 7 - y : y][f & 1 ? 7 - x : x]);
    }
    return picture;
}

// The first difference, or "" when the screens are the same.
std::string difference(const Picture &expected, const Frame &frame) {
    int wrong = 0;
    std::string first;
    for (int y = 0; y < kScreenHeight; ++y)
        for (int x = 0; x < kScreenWidth; ++x) {
            const uint8_t *p = frame.at(2 * x, 2 * y); // recorded at twice the size
            const Rgb &e = expected[static_cast<size_t>(y)][static_cast<size_t>(x)];
            if (p[0] == e.red && p[1] == e.green && p[2] == e.blue)
                continue;
            if (wrong++ == 0)
                first = "at " + std::to_string(x) + "," + std::to_string(y) + ": shown " +
                        std::to_string(p[0]) + "," + std::to_string(p[1]) + "," +
                        std::to_string(p[2]) + ", expected " + std::to_string(e.red) + "," +
                        std::to_string(e.green) + "," + std::to_string(e.blue);
        }
    return wrong == 0 ? "" : std::to_string(wrong) + " pixels differ; first " + first;
}

struct SnesRomTest : testing::Test {
    TempDir dir;

    void paint(const std::string &name, const Picture &picture) {
        ASSERT_TRUE(testimages::writeRgbRowsPng(dir.file(name), picture));
    }

    RunResult run(const std::vector<std::string> &arguments) {
        return runMorvik(arguments, dir.path);
    }

    // What the console must show: the picture's top-left corner at five bits
    // a component, the backdrop beyond it.
    Picture expectedScreen(const Picture &source, const Rgb &back, size_t left = 0,
                           size_t top = 0) {
        Picture screen(kScreenHeight, std::vector<Rgb>(kScreenWidth, back));
        for (size_t y = 0; y < kScreenHeight && top + y < source.size(); ++y)
            for (size_t x = 0; x < kScreenWidth && left + x < source[y].size(); ++x)
                screen[y][x] = cut(source[top + y][left + x]);
        return screen;
    }

    // Converts `input` with `options` and -rom, runs the ROM and compares.
    void showsPicture(const std::string &input, const Picture &source,
                      const std::vector<std::string> &options, const std::string &expectLine = "") {
        std::vector<std::string> arguments = {"-image", input,   "-target", "snes",
                                              "-o",     "s.pat", "-rom",    "s.sfc"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const RunResult r = run(arguments);
        ASSERT_EQ(r.status, 0) << r.output;
        ASSERT_NE(r.output.find("Writing viewer ROM to s.sfc\n"), std::string::npos) << r.output;
        if (!expectLine.empty()) {
            ASSERT_NE(r.output.find(expectLine), std::string::npos) << r.output;
        }
        std::string error;
        const std::optional<Frame> frame = recordFrame(dir.file("s.sfc"), kFrame, error);
        ASSERT_TRUE(frame.has_value()) << error;
        ASSERT_EQ(frame->width, 2 * kScreenWidth);
        ASSERT_EQ(frame->height, 2 * kScreenHeight);
        const Picture expected = expectedScreen(source, backdrop(readFileBytes(dir.file("s.pal"))));
        EXPECT_EQ(difference(expected, *frame), "");
    }
};

Picture loadTitle() {
    // examples/title.png: 256x192, sixteen colours; read back through libpng.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    const std::string path = std::string(MORVIK_SOURCE_DIR) + "/examples/title.png";
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
        return {};
    Picture picture(image.height, std::vector<Rgb>(image.width));
    for (size_t y = 0; y < image.height; ++y)
        for (size_t x = 0; x < image.width; ++x) {
            const uint8_t *p = &rgb[(y * image.width + x) * 3];
            picture[y][x] = {p[0], p[1], p[2]};
        }
    return picture;
}

TEST_F(SnesRomTest, MednafenIsThere) {
    EXPECT_FALSE(mednafenPath().empty()) << "mednafen is needed by the viewer ROM tests";
}

TEST_F(SnesRomTest, HeaderHasTheChecksumAndItsComplement) {
    paint("small.png",
          tiledPicture(
              randomTiles(4, 16, 7), 4, 2, [](int c) { return c; }, [](int) { return 0; }));
    ASSERT_EQ(run({"-image", "small.png", "-target", "snes", "-rom", "s.sfc"}).status, 0);
    const Bytes rom = readFileBytes(dir.file("s.sfc"));
    ASSERT_EQ(rom.size(), 0x10000u);
    uint32_t sum = 0;
    for (unsigned char b : rom)
        sum += b;
    const uint32_t checksum = rom[0x7FDE] | uint32_t{rom[0x7FDF]} << 8;
    const uint32_t complement = rom[0x7FDC] | uint32_t{rom[0x7FDD]} << 8;
    EXPECT_EQ(checksum, sum & 0xFFFF);
    EXPECT_EQ(checksum ^ complement, 0xFFFFu);
    EXPECT_EQ(rom[0x7FD5], 0x20);                      // LoROM
    EXPECT_EQ(rom[0x7FD7], 6);                         // 64 KB
    EXPECT_EQ(rom[0x7FFC] | rom[0x7FFD] << 8, 0x8000); // reset
}

TEST_F(SnesRomTest, TitleScreen) {
    const Picture title = loadTitle();
    ASSERT_EQ(title.size(), 192u);
    showsPicture(std::string(MORVIK_SOURCE_DIR) + "/examples/title.png", title, {"-opt"});
}

TEST_F(SnesRomTest, MirroredTilesAndTileNumbersAbove255) {
    // 330 tiles, each shown plain and in its three mirrored forms: -opt keeps
    // 330 patterns and the screen needs the mirror bits and numbers past 255.
    const std::vector<Tile> tiles = randomTiles(330, 16, 1);
    const Picture source = tiledPicture(
        tiles, 32, 28, [](int c) { return c * 7 % 330; }, [](int c) { return c / 224; });
    paint("mirrors.png", source);
    showsPicture("mirrors.png", source, {"-opt"});
    EXPECT_EQ(readFileBytes(dir.file("s.pat")).size(), 330u * 32);
}

TEST_F(SnesRomTest, FewerPlanesAreWidened) {
    // Five colours: three planes stored, the odd one a byte a row; the p4
    // mode reads four. Smaller than the screen: the rest is backdrop.
    const Picture five = tiledPicture(
        randomTiles(40, 5, 3), 10, 6, [](int c) { return c; }, [](int) { return 0; });
    paint("five.png", five);
    showsPicture("five.png", five, {}, "Using 3 bitplanes (24 bytes) for each tile.\n");
    // Two colours in p2: one plane stored, two read.
    const Picture two = tiledPicture(
        randomTiles(30, 2, 4), 6, 5, [](int c) { return c; }, [](int) { return 0; });
    paint("two.png", two);
    showsPicture("two.png", two, {"-format", "p2"}, "Using 1 bitplanes (8 bytes) for each tile.\n");
}

TEST_F(SnesRomTest, EightPlaneTiles) {
    // 100 colours in p8 (mode 3): seven planes stored, eight read.
    Picture source(48, std::vector<Rgb>(80));
    Random random(13);
    for (auto &row : source)
        for (Rgb &pixel : row) {
            const uint32_t i = random.next(100);
            pixel = {static_cast<uint8_t>(i % 10 * 24), static_cast<uint8_t>(i / 10 * 24),
                     static_cast<uint8_t>(i % 7 * 32)};
        }
    paint("many.png", source);
    showsPicture("many.png", source, {"-format", "p8"});
}

// Bands of tiles, each with its own `colours` colours besides black.
Picture bands(uint32_t colours) {
    Picture source(64, std::vector<Rgb>(128));
    Random random(9);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 128; ++x) {
            const uint32_t band = static_cast<uint32_t>(x / 8 + y / 8 * 16) % 5;
            const uint32_t i = random.next(colours + 1);
            source[y][x] =
                i == 0 ? Rgb{0, 0, 0}
                       : Rgb{static_cast<uint8_t>(band * 48 + 8), static_cast<uint8_t>(i * 16 + 8),
                             static_cast<uint8_t>(248 - i * 8 - band * 16)};
        }
    return source;
}

TEST_F(SnesRomTest, SubPalettes) {
    // Five bands of ten colours: fifty, packed exactly into five sub-palettes.
    const Picture ten = bands(10);
    paint("bands.png", ten);
    showsPicture("bands.png", ten, {"-opt", "-palettes", "8"}, "Using 5 sub-palettes (exact).\n");
    // With -q 8 each sub-palette in the file holds 8 colours, not the 16 of
    // the hardware's: the viewer puts each in its place.
    const Picture six = bands(6);
    paint("six.png", six);
    showsPicture("six.png", six, {"-opt", "-q", "8", "-palettes", "8"},
                 "Using 5 sub-palettes (exact).\n");
}

TEST_F(SnesRomTest, LargerPictureShowsItsTopLeftScreen) {
    // 50x40 tiles (400x320 pixels) of 200 patterns; the screen shows the
    // first 32 columns and 28 rows.
    const Picture source = tiledPicture(
        randomTiles(200, 16, 5), 50, 40, [](int c) { return c * 13 % 200; },
        [](int c) { return c % 3; });
    paint("large.png", source);
    showsPicture("large.png", source, {"-opt"});
}

TEST_F(SnesRomTest, JoypadScrollsToTheBottomRightCorner) {
    // 40x34 tiles: the name table's four screens are all used. The joypad
    // read is replaced by "right and down held", so by frame 100 the view
    // has stopped at the corner, 64 pixels across and 48 down.
    const Picture source = tiledPicture(
        randomTiles(300, 16, 21), 40, 34, [](int c) { return c * 11 % 300; },
        [](int c) { return c / 7 % 4; });
    paint("wide.png", source);
    ASSERT_EQ(run({"-image", "wide.png", "-target", "snes", "-opt", "-rom", "s.sfc"}).status, 0);
    Bytes rom = readFileBytes(dir.file("s.sfc"));
    const Bytes readJoypad = {0xAD, 0x18, 0x42}; // lda $4218
    const auto at =
        std::search(rom.begin(), rom.begin() + 0x8000, readJoypad.begin(), readJoypad.end());
    ASSERT_NE(at, rom.begin() + 0x8000);
    const Bytes held = {0xA9, 0x00, 0x05}; // lda #$0500
    std::copy(held.begin(), held.end(), at);
    writeFileBytes(dir.file("s.sfc"), rom);
    std::string error;
    const std::optional<Frame> frame = recordFrame(dir.file("s.sfc"), 100, error);
    ASSERT_TRUE(frame.has_value()) << error;
    ASSERT_EQ(frame->width, 2 * kScreenWidth);
    EXPECT_EQ(difference(expectedScreen(source, {}, 64, 48), *frame), "");
}

TEST_F(SnesRomTest, TooManyTilesIsRefusedBeforeAnyFile) {
    // 1000 different tiles: more than the 992 of 64 bytes below the name table.
    paint("many.png",
          tiledPicture(
              randomTiles(1000, 16, 11), 40, 25, [](int c) { return c; }, [](int) { return 0; }));
    const RunResult r =
        run({"-image", "many.png", "-target", "snes", "-format", "p8", "-opt", "-rom", "m.sfc"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Error: The picture needs 1000 tiles; the SNES viewer holds at most "
                            "992 in this format.\n"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(listDir(dir.path), std::vector<std::string>{"many.png"}); // no file written
}

} // namespace
