// The Master System and Game Gear viewer ROMs (-rom), run in mednafen: the
// recorded screen must be the source picture at the console's colour depth,
// pixel for pixel, from its top-left corner.
#include "e2e/RunMorvik.hpp"
#include "rom/Mednafen.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <random>

#if defined(MORVIK_HAVE_Z80EX)
#include <z80ex.h>
#endif

namespace {

using testimages::Rgb;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels; // rows from the top

    Rgb at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

struct Console {
    std::string target;    // -target
    std::string extension; // mednafen picks the console by the ROM's name
    int componentBits;     // colour depth
    int scale;             // a component's level times this is what mednafen shows
    int screenWidth;
    int screenHeight;
    int frameTop; // the picture's first line in the recorded frame
};

const Console kSms = {"sms", ".sms", 2, 85, 256, 192, 24};
const Console kGameGear = {"sgg", ".gg", 4, 17, 160, 144, 0};

// The viewer unpacks up to 448 tiles with the display off: about 20 frames.
constexpr int kFrame = 60;

// "TMR SEGA" at $7FF0, the sum of every other byte at $7FFA, region and size
// code (32 KB: $C, 64 KB: $E) at $7FFF.
void expectHeader(const Console &console, const std::vector<unsigned char> &rom, int sizeCode) {
    ASSERT_EQ(rom.size(), sizeCode == 0xC ? 0x8000u : 0x10000u);
    EXPECT_EQ(std::string(rom.begin() + 0x7FF0, rom.begin() + 0x7FF8), "TMR SEGA");
    uint32_t sum = 0;
    for (size_t i = 0; i < rom.size(); ++i)
        sum += i < 0x7FF0 || i >= 0x8000 ? rom[i] : 0;
    EXPECT_EQ(rom[0x7FFA] | rom[0x7FFB] << 8, static_cast<int>(sum & 0xFFFF));
    EXPECT_EQ(rom[0x7FFF], (console.target == "sms" ? 0x40 : 0x70) | sizeCode);
}

Rgb atDepth(const Rgb &c, const Console &console) {
    const auto level = [&](uint8_t v) {
        return static_cast<uint8_t>((v >> (8 - console.componentBits)) * console.scale);
    };
    return {level(c.red), level(c.green), level(c.blue)};
}

// A colour the console shows exactly: levels of its depth.
Rgb consoleColour(const Console &console, uint32_t r, uint32_t g, uint32_t b) {
    const auto widen = [&](uint32_t level) { return static_cast<uint8_t>(level * console.scale); };
    return {widen(r), widen(g), widen(b)};
}

using Tile = std::array<uint8_t, 64>; // colour indexes

Tile randomTile(std::mt19937 &random, int colours) {
    Tile tile{};
    for (uint8_t &pixel : tile)
        pixel = static_cast<uint8_t>(random() % static_cast<uint32_t>(colours));
    return tile;
}

Tile mirrored(const Tile &tile, bool h, bool v) {
    Tile out{};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            out[static_cast<size_t>(y * 8 + x)] =
                tile[static_cast<size_t>((v ? 7 - y : y) * 8 + (h ? 7 - x : x))];
    return out;
}

// A picture of tiles: `cell` gives each cell's tile and `colour` each index's colour.
Picture mosaic(int columns, int rows, const std::function<Tile(int, int)> &cell,
               const std::function<Rgb(int column, int row, uint8_t index)> &colour) {
    Picture picture{columns * 8, rows * 8, {}};
    picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            const Tile tile = cell(column, row);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    picture
                        .pixels[static_cast<size_t>(row * 8 + y) * picture.width + column * 8 + x] =
                        colour(column, row, tile[static_cast<size_t>(y * 8 + x)]);
        }
    return picture;
}

// Sixteen colours of the console's depth, all different.
std::vector<Rgb> sixteenColours(const Console &console, uint32_t seed) {
    std::mt19937 random(seed);
    const uint32_t levels = 1u << console.componentBits;
    std::vector<Rgb> colours;
    while (colours.size() < 16) {
        const Rgb c =
            consoleColour(console, random() % levels, random() % levels, random() % levels);
        bool known = false;
        for (const Rgb &k : colours)
            known = known || (k.red == c.red && k.green == c.green && k.blue == c.blue);
        if (!known)
            colours.push_back(c);
    }
    return colours;
}

// ---------------------------------------------------------------------------
// Scrolling, run in z80ex: the joypad is a script of port $DC values, the VDP
// keeps VRAM, colour RAM and registers, and every status read reports a frame.

struct SmsMachine {
    std::vector<uint8_t> memory = std::vector<uint8_t>(0x10000, 0);
    std::vector<uint8_t> vram = std::vector<uint8_t>(0x4000, 0);
    std::vector<uint8_t> cram = std::vector<uint8_t>(64, 0);
    std::array<uint8_t, 16> registers{};
    uint32_t address = 0;
    uint8_t code = 0;
    uint8_t latch = 0;
    bool latched = false;
    std::vector<uint8_t> pad; // port $DC, one value a read; then nothing held
    size_t padReads = 0;
    uint64_t clock = 0;
    uint64_t lastData = 0;
    uint64_t shortestGapShown = std::numeric_limits<uint64_t>::max(); // display on

    void control(uint8_t value) {
        if (!latched) {
            latch = value;
            latched = true;
            return;
        }
        latched = false;
        code = value >> 6;
        address = latch | (value & 0x3Fu) << 8;
        if (code == 2)
            registers[value & 0x0Fu] = latch;
    }

    void data(uint8_t value) {
        latched = false;
        if ((registers[1] & 0x40) != 0)
            shortestGapShown = std::min(shortestGapShown, clock - lastData);
        lastData = clock;
        if (code == 3)
            cram[address & 0x3Fu] = value;
        else
            vram[address & 0x3FFFu] = value;
        address = (address + 1) & 0x3FFFu;
    }

    uint8_t read(uint8_t port) {
        if (port == 0xBF) {
            latched = false;
            return 0x80;
        }
        if (port == 0xDC)
            return padReads < pad.size() ? pad[padReads++] : (++padReads, 0xFF);
        return 0xFF;
    }
};

#if defined(MORVIK_HAVE_Z80EX)

Z80EX_BYTE smsReadMemory(Z80EX_CONTEXT *, Z80EX_WORD address, int, void *user) {
    return static_cast<SmsMachine *>(user)->memory[address];
}

void smsWriteMemory(Z80EX_CONTEXT *, Z80EX_WORD address, Z80EX_BYTE value, void *user) {
    if (address >= 0xC000) // the ROM below stays as it is
        static_cast<SmsMachine *>(user)->memory[address] = value;
}

Z80EX_BYTE smsReadPort(Z80EX_CONTEXT *, Z80EX_WORD port, void *user) {
    return static_cast<SmsMachine *>(user)->read(static_cast<uint8_t>(port & 0xFF));
}

void smsWritePort(Z80EX_CONTEXT *, Z80EX_WORD port, Z80EX_BYTE value, void *user) {
    SmsMachine &machine = *static_cast<SmsMachine *>(user);
    if ((port & 0xFF) == 0xBF)
        machine.control(value);
    else if ((port & 0xFF) == 0xBE)
        machine.data(value);
}

Z80EX_BYTE smsInterruptVector(Z80EX_CONTEXT *, void *) {
    return 0xFF;
}

struct Z80exDeleter {
    void operator()(Z80EX_CONTEXT *cpu) const { z80ex_destroy(cpu); }
};

// Runs the ROM until the joypad script and ten reads after it are done.
bool runScript(SmsMachine &machine, const std::vector<unsigned char> &rom) {
    std::copy(rom.begin(),
              rom.begin() + static_cast<ptrdiff_t>(std::min<size_t>(rom.size(), 0xC000)),
              machine.memory.begin());
    std::unique_ptr<Z80EX_CONTEXT, Z80exDeleter> cpu(
        z80ex_create(smsReadMemory, &machine, smsWriteMemory, &machine, smsReadPort, &machine,
                     smsWritePort, &machine, smsInterruptVector, &machine));
    if (!cpu)
        return false;
    while (machine.padReads < machine.pad.size() + 10 && machine.clock < 100000000)
        machine.clock += static_cast<uint64_t>(z80ex_step(cpu.get()));
    return machine.padReads >= machine.pad.size() + 10;
}

#else

bool runScript(SmsMachine &, const std::vector<unsigned char> &) {
    return false;
}

#endif

class SmsRomTest : public ::testing::Test {
  protected:
    testimages::TempDir dir;

    void paint(const std::string &name, const Picture &picture) {
        ASSERT_TRUE(testimages::writeRgbPng(dir.file(name), static_cast<uint32_t>(picture.width),
                                            static_cast<uint32_t>(picture.height), picture.pixels));
    }

    // Runs morvik; the ROM must be written.
    std::string makeRom(const Console &console, const std::string &picture, const std::string &stem,
                        std::vector<std::string> options) {
        const std::string rom = stem + console.extension;
        std::vector<std::string> arguments = {
            "-image", picture, "-target", console.target, "-opt", "-o", stem + ".pat", "-rom", rom};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const RunResult result = runMorvik(arguments, dir.path);
        EXPECT_EQ(result.status, 0) << result.output;
        EXPECT_NE(result.output.find("Writing viewer ROM to " + rom), std::string::npos)
            << result.output;
        lastOutput = result.output;
        return dir.file(rom);
    }

    std::string lastOutput;

    // The colour mednafen shows where no picture is: palette entry 0.
    Rgb background(const Console &console, const std::string &stem) {
        const std::vector<unsigned char> pal = readFileBytes(dir.file(stem + ".pal"));
        if (pal.size() < 2)
            return {};
        if (console.target == "sms")
            return consoleColour(console, pal[0] & 3u, (pal[0] >> 2) & 3u, (pal[0] >> 4) & 3u);
        return consoleColour(console, pal[0] & 15u, pal[0] >> 4, pal[1] & 15u);
    }

    // Runs the ROM and compares the whole screen with the picture's top-left part.
    void expectScreen(const Console &console, const std::string &rom, const Picture &source,
                      const Rgb &outside) {
        std::string error;
        const std::optional<Frame> frame = recordFrame(rom, kFrame, error);
        ASSERT_TRUE(frame.has_value()) << error;
        ASSERT_GE(frame->width, console.screenWidth);
        ASSERT_GE(frame->height, console.frameTop + console.screenHeight);
        int wrong = 0;
        for (int y = 0; y < console.screenHeight; ++y)
            for (int x = 0; x < console.screenWidth; ++x) {
                const bool inside = x < source.width && y < source.height;
                const Rgb want = inside ? atDepth(source.at(x, y), console) : outside;
                const uint8_t *got = frame->at(x, console.frameTop + y);
                if (got[0] == want.red && got[1] == want.green && got[2] == want.blue)
                    continue;
                if (++wrong <= 5)
                    ADD_FAILURE() << rom << ": pixel " << x << "," << y << " is " << int{got[0]}
                                  << "," << int{got[1]} << "," << int{got[2]} << ", want "
                                  << int{want.red} << "," << int{want.green} << ","
                                  << int{want.blue};
            }
        EXPECT_EQ(wrong, 0) << rom;
        if (wrong != 0) // kept for a look at what the console showed
            testimages::writeRgbPng(rom + ".frame.png", static_cast<uint32_t>(frame->width),
                                    static_cast<uint32_t>(frame->height), framePixels(*frame));
    }

    static std::vector<Rgb> framePixels(const Frame &frame) {
        std::vector<Rgb> pixels;
        for (size_t i = 0; i + 2 < frame.rgb.size(); i += 3)
            pixels.push_back({frame.rgb[i], frame.rgb[i + 1], frame.rgb[i + 2]});
        return pixels;
    }

    void checkPicture(const Console &console, const Picture &picture, const std::string &stem,
                      std::vector<std::string> options = {}) {
        paint(stem + ".png", picture);
        const std::string rom = makeRom(console, stem + ".png", stem, std::move(options));
        expectScreen(console, rom, picture, background(console, stem));
    }

    void checkTitle(const Console &console) {
        const std::string path = std::string(MORVIK_SOURCE_DIR) + "/examples/title.png";
        const std::optional<Frame> png = decodePngFrame(readFileBytes(path));
        ASSERT_TRUE(png.has_value());
        Picture picture{png->width, png->height, framePixels(*png)};
        const std::string rom = makeRom(console, path, "title", {});
        expectScreen(console, rom, picture, background(console, "title"));
    }

    // Unique tiles first, then mirrored copies of them: tile numbers past 255
    // and every mirror bit on screen.
    void checkMirrored(const Console &console, int uniqueTiles) {
        std::mt19937 random(5);
        std::vector<Tile> tiles;
        for (int i = 0; i < uniqueTiles; ++i)
            tiles.push_back(randomTile(random, 4));
        const int columns = console.screenWidth / 8;
        const std::vector<Rgb> colours = sixteenColours(console, 7);
        const Picture picture = mosaic(
            columns, console.screenHeight / 8,
            [&](int column, int row) {
                const int cell = row * columns + column;
                if (cell < uniqueTiles)
                    return tiles[static_cast<size_t>(cell)];
                const int kind = 1 + cell % 3;
                return mirrored(tiles[static_cast<size_t>(cell * 7 % uniqueTiles)], (kind & 1) != 0,
                                (kind & 2) != 0);
            },
            [&](int, int, uint8_t index) { return colours[index]; });
        checkPicture(console, picture, "mirrored");
        const std::vector<unsigned char> nam = readFileBytes(dir.file("mirrored.nam"));
        int high = 0;
        int flags = 0;
        for (size_t i = 0; i + 1 < nam.size(); i += 2) {
            high += (nam[i + 1] & 1) != 0 ? 1 : 0;
            flags |= nam[i + 1] & 6;
        }
        EXPECT_GT(high, 0) << "no tile numbers past 255";
        EXPECT_EQ(flags, 6) << "not both mirror bits";
    }

    // Three colours: two planes, widened to four by the ROM builder; smaller
    // than the screen, so the blank tile shows around it.
    void checkFewColours(const Console &console) {
        std::mt19937 random(11);
        std::vector<Tile> tiles;
        for (int i = 0; i < 40; ++i)
            tiles.push_back(randomTile(random, 3));
        const std::vector<Rgb> colours = sixteenColours(console, 13);
        const Picture picture = mosaic(
            25, 15, [&](int column, int row) { return tiles[(column * 3 + row * 5) % 40]; },
            [&](int, int, uint8_t index) { return colours[index]; });
        checkPicture(console, picture, "few");
        EXPECT_NE(lastOutput.find("Using 2 bitplanes"), std::string::npos) << lastOutput;
    }

    // Left half in one set of sixteen colours, right half in another (the
    // background colour shared): exact only with both sub-palettes.
    void checkSubPalettes(const Console &console) {
        std::mt19937 random(17);
        std::vector<Tile> tiles;
        for (int i = 0; i < 60; ++i)
            tiles.push_back(randomTile(random, 16));
        tiles[0][0] = 0; // the background pixel: colour 0 of both sets
        const std::vector<Rgb> left = sixteenColours(console, 19);
        std::vector<Rgb> right = sixteenColours(console, 23);
        right[0] = left[0];
        const int columns = console.screenWidth / 8;
        const Picture picture = mosaic(
            columns, console.screenHeight / 8,
            [&](int column, int row) { return tiles[(column + row * 7) % 60]; },
            [&](int column, int, uint8_t index) {
                return column < columns / 2 ? left[index] : right[index];
            });
        checkPicture(console, picture, "palettes", {"-palettes", "2"});
        EXPECT_NE(lastOutput.find("Using 2 sub-palettes (exact)"), std::string::npos) << lastOutput;
    }

    // A map of 128 x 64 tiles, the most the viewer's ROM holds, and 448 tiles
    // that hardly pack: the map goes to the 64 KB ROM's third bank. Its
    // top-left screen is shown.
    void checkLarge(const Console &console) {
        std::mt19937 random(29);
        std::vector<Tile> tiles;
        for (int i = 0; i < 448; ++i)
            tiles.push_back(randomTile(random, 16));
        const std::vector<Rgb> colours = sixteenColours(console, 31);
        const Picture picture = mosaic(
            128, 64, [&](int column, int row) { return tiles[(column * 13 + row * 31) % 448]; },
            [&](int, int, uint8_t index) { return colours[index]; });
        checkPicture(console, picture, "large");
        expectHeader(console, readFileBytes(dir.file("large" + console.extension)), 0xE);
    }
};

TEST_F(SmsRomTest, MasterSystemTitle) {
    checkTitle(kSms);
}

TEST_F(SmsRomTest, GameGearTitle) {
    checkTitle(kGameGear);
}

TEST_F(SmsRomTest, MasterSystemMirroredTilesPastTile255) {
    checkMirrored(kSms, 400);
}

TEST_F(SmsRomTest, GameGearMirroredTilesPastTile255) {
    checkMirrored(kGameGear, 300);
}

TEST_F(SmsRomTest, MasterSystemFewColoursWidened) {
    checkFewColours(kSms);
}

TEST_F(SmsRomTest, GameGearFewColoursWidened) {
    checkFewColours(kGameGear);
}

TEST_F(SmsRomTest, MasterSystemSubPalettes) {
    checkSubPalettes(kSms);
}

TEST_F(SmsRomTest, GameGearSubPalettes) {
    checkSubPalettes(kGameGear);
}

TEST_F(SmsRomTest, MasterSystemLargerThanScreen) {
    checkLarge(kSms);
}

TEST_F(SmsRomTest, GameGearLargerThanScreen) {
    checkLarge(kGameGear);
}

// Held directions move the screen's corner a tile each step and stop at the
// map's edges; the name table then holds the map from the new corner.
TEST_F(SmsRomTest, JoypadScrollsLargerMaps) {
#if !defined(MORVIK_HAVE_Z80EX)
    FAIL() << "built without z80ex (libz80ex-dev), which runs the viewer here";
#endif
    std::mt19937 random(43);
    std::vector<Tile> tiles;
    for (int i = 0; i < 100; ++i)
        tiles.push_back(randomTile(random, 16));
    struct Case {
        const Console *console;
        int left, top;  // name-table cell of the screen's corner
        int rights;     // more than the map allows
        int lastColumn; // where the corner stops
    };
    const int columns = 48, rows = 30;
    for (const Case &c : {Case{&kSms, 0, 0, 20, 16}, Case{&kGameGear, 6, 3, 30, 28}}) {
        const Console &console = *c.console;
        const std::vector<Rgb> colours = sixteenColours(console, 47);
        paint("scroll.png",
              mosaic(
                  columns, rows,
                  [&](int column, int row) { return tiles[(column * 7 + row * 3) % 100]; },
                  [&](int, int, uint8_t index) { return colours[index]; }));
        const std::string rom = makeRom(console, "scroll.png", "scroll", {});
        const std::vector<unsigned char> nam = readFileBytes(dir.file("scroll.nam"));
        const std::vector<unsigned char> pal = readFileBytes(dir.file("scroll.pal"));
        const std::vector<unsigned char> pat = readFileBytes(dir.file("scroll.pat"));
        ASSERT_EQ(nam.size(), static_cast<size_t>(columns * rows * 2));
        SmsMachine machine;
        machine.pad.push_back(static_cast<uint8_t>(~(1 | 4))); // up and left: at the edge already
        machine.pad.insert(machine.pad.end(), static_cast<size_t>(c.rights),
                           static_cast<uint8_t>(~8));
        machine.pad.insert(machine.pad.end(), 2, static_cast<uint8_t>(~2));
        machine.pad.push_back(static_cast<uint8_t>(~4));
        ASSERT_TRUE(runScript(machine, readFileBytes(rom))) << console.target;
        EXPECT_TRUE(std::equal(pal.begin(), pal.end(), machine.cram.begin())) << console.target;
        EXPECT_TRUE(std::equal(pat.begin(), pat.end(), machine.vram.begin())) << console.target;
        EXPECT_GE(machine.shortestGapShown, 32u) << console.target;
        const int x = c.lastColumn - 1, y = 2;
        int wrong = 0;
        for (int r = 0; r < 28; ++r)
            for (int col = 0; col < 32; ++col) {
                const size_t at = 0x3800 + static_cast<size_t>((r * 32 + col) * 2);
                const int mapColumn = col - c.left + x, mapRow = r - c.top + y;
                const bool shown = col >= c.left && col < c.left + console.screenWidth / 8 &&
                                   r >= c.top && r < c.top + console.screenHeight / 8;
                const size_t from = static_cast<size_t>((mapRow * columns + mapColumn) * 2);
                const int want = shown ? nam[from] | nam[from + 1] << 8 : 0x01FF;
                const int got = machine.vram[at] | machine.vram[at + 1] << 8;
                if (got != want && ++wrong <= 5)
                    ADD_FAILURE() << console.target << ": name-table cell " << col << "," << r
                                  << " is " << got << ", want " << want;
            }
        EXPECT_EQ(wrong, 0) << console.target;
    }
}

// With -base the stored indexes start above 0, and so does the colour RAM the
// viewer loads the .pal into.
TEST_F(SmsRomTest, BaseColourPlacesThePalette) {
#if !defined(MORVIK_HAVE_Z80EX)
    FAIL() << "built without z80ex (libz80ex-dev), which runs the viewer here";
#endif
    std::mt19937 random(53);
    const Tile tile = randomTile(random, 3);
    const std::vector<Rgb> colours = sixteenColours(kGameGear, 59);
    paint("base.png", mosaic(
                          4, 4, [&](int, int) { return tile; },
                          [&](int, int, uint8_t index) { return colours[index]; }));
    const std::string rom = makeRom(kGameGear, "base.png", "base", {"-base", "3"});
    const std::vector<unsigned char> pal = readFileBytes(dir.file("base.pal"));
    ASSERT_EQ(pal.size(), 6u);
    SmsMachine machine;
    ASSERT_TRUE(runScript(machine, readFileBytes(rom)));
    EXPECT_TRUE(std::equal(pal.begin(), pal.end(), machine.cram.begin() + 6));
    EXPECT_EQ(std::count(machine.cram.begin(), machine.cram.begin() + 6, 0), 6);
    EXPECT_EQ(std::count(machine.cram.begin() + 12, machine.cram.end(), 0), 64 - 12);
}

TEST_F(SmsRomTest, HeaderAndChecksum) {
    for (const Console *console : {&kSms, &kGameGear}) {
        const std::string title = std::string(MORVIK_SOURCE_DIR) + "/examples/title.png";
        expectHeader(*console, readFileBytes(makeRom(*console, title, "header", {})), 0xC);
    }
}

TEST_F(SmsRomTest, LimitsStopTheRunBeforeAnyFile) {
    std::mt19937 random(37);
    std::vector<Tile> tiles;
    for (int i = 0; i < 449; ++i)
        tiles.push_back(randomTile(random, 16));
    const std::vector<Rgb> colours = sixteenColours(kSms, 41);
    const auto colour = [&](int, int, uint8_t index) { return colours[index]; };
    paint("tiles.png",
          mosaic(
              32, 15, [&](int c, int r) { return tiles[(r * 32 + c) % 449]; }, colour));
    paint("map.png", mosaic(
                         129, 64, [&](int c, int r) { return tiles[(r + c) % 8]; }, colour));
    const struct {
        std::string picture, target, message;
    } cases[] = {
        {"tiles.png", "sms",
         "Error: The picture needs 449 tiles; the Master System viewer holds at most 448.\n"},
        {"tiles.png", "sgg",
         "Error: The picture needs 449 tiles; the Game Gear viewer holds at most 448.\n"},
        {"map.png", "sms",
         "Error: The map has 8256 entries (129 x 64 tiles); the Master System viewer holds at "
         "most 8192.\n"},
    };
    for (const auto &c : cases) {
        const RunResult result = runMorvik(
            {"-image", c.picture, "-target", c.target, "-opt", "-o", "out.pat", "-rom", "out.rom"},
            dir.path);
        EXPECT_EQ(result.status, 1) << result.output;
        EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
        EXPECT_TRUE(listDir(dir.path).size() == 2) << "files were written for " << c.picture;
    }
}

} // namespace
