// Golden end-to-end tests: small pictures converted for every target, each
// output file compared byte for byte with bytes worked out by hand.
//
// The main picture is 24x16 pixels, six tiles. Tile A (below) is neither
// left-right nor top-bottom symmetric; H is A mirrored left-right, V is A
// mirrored top-bottom, C is a plain black tile:
//
//     A H V        scan order: 0 1 2
//     A C C                    3 4 5
//
// Colours: W white (255,255,255), K black (0,0,0), R red (255,0,0) and
// P purple (128,64,200), whose components need rounding on every console.
// Palette indexes are numbered in first-seen order from the bottom-left
// pixel, row by row upward: the bottom row "WKKKKKKP KKKKKKKK KKKKKKKK" gives
// W 0, K 1, P 2, and row 9 "RKKKKKKK ..." gives R 3. (From the top-left the
// order would be R, W, K, P, so the numbering shows which end counts first.)
//
// Tile A as indexes, and its two bit planes (bit 7 - x = bit k of pixel x):
//     row 0  R R R R W W W W   3 3 3 3 0 0 0 0   plane0 F0 plane1 F0
//     row 1  R K K K K K K K   3 1 1 1 1 1 1 1          FF        80
//     row 2  K P K K K K K K   1 2 1 1 1 1 1 1          BF        40
//     row 3  K K P K K K K K   1 1 2 1 1 1 1 1          DF        20
//     row 4-6 all K            1 ...                    FF        00
//     row 7  W K K K K K K P   0 1 1 1 1 1 1 2          7E        01
// H's plane bytes are A's bit-reversed; V's rows are A's in reverse order.
// C is index 1 everywhere: plane0 FF, plane1 00 on every row.
//
// With -opt and mirroring (sms, sgg, snes, smd): tile 0 = A, H = A with
// mirror code 1, V = A with code 2, the second A = tile 0 again, C = new
// tile 1, the second C = tile 1 (codes 0). Two unique tiles.
// Without mirroring (tgx): A, H, V and C are four unique tiles.
// Unoptimised size for p4 and l4: 6 tiles x 32 bytes = 192.
#include "e2e/RunMorvik.hpp"

#include "morvik_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

namespace {

using testimages::Rgb;
using Bytes = std::vector<unsigned char>;

const std::vector<std::string> kPicture = {
    "RRRRWWWWWWWWRRRRWKKKKKKP", //
    "RKKKKKKKKKKKKKKRKKKKKKKK", //
    "KPKKKKKKKKKKKKPKKKKKKKKK", //
    "KKPKKKKKKKKKKPKKKKKKKKKK", //
    "KKKKKKKKKKKKKKKKKKPKKKKK", //
    "KKKKKKKKKKKKKKKKKPKKKKKK", //
    "KKKKKKKKKKKKKKKKRKKKKKKK", //
    "WKKKKKKPPKKKKKKWRRRRWWWW", //
    "RRRRWWWWKKKKKKKKKKKKKKKK", //
    "RKKKKKKKKKKKKKKKKKKKKKKK", //
    "KPKKKKKKKKKKKKKKKKKKKKKK", //
    "KKPKKKKKKKKKKKKKKKKKKKKK", //
    "KKKKKKKKKKKKKKKKKKKKKKKK", //
    "KKKKKKKKKKKKKKKKKKKKKKKK", //
    "KKKKKKKKKKKKKKKKKKKKKKKK", //
    "WKKKKKKPKKKKKKKKKKKKKKKK", //
};

// Tile A alone, 8x8: the same first-seen order W 0, K 1, P 2, R 3.
const std::vector<std::string> kTileA = {
    "RRRRWWWW", "RKKKKKKK", "KPKKKKKK", "KKPKKKKK", "KKKKKKKK", "KKKKKKKK", "KKKKKKKK", "WKKKKKKP",
};

Rgb colourOf(char c) {
    switch (c) {
    case 'W':
        return {255, 255, 255};
    case 'R':
        return {255, 0, 0};
    case 'P':
        return {128, 64, 200};
    default:
        return {0, 0, 0};
    }
}

// The two-plane pattern bytes of tiles A, H, V and C (see the top comment).
const Bytes kTileA2 = {0xF0, 0xF0, 0xFF, 0x80, 0xBF, 0x40, 0xDF, 0x20,
                       0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x7E, 0x01};
const Bytes kTileH2 = {0x0F, 0x0F, 0xFF, 0x01, 0xFD, 0x02, 0xFB, 0x04,
                       0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x7E, 0x80};
const Bytes kTileV2 = {0x7E, 0x01, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00,
                       0xDF, 0x20, 0xBF, 0x40, 0xFF, 0x80, 0xF0, 0xF0};
const Bytes kTileC2 = {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00,
                       0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct GoldenTest : testing::Test {
    TempDir dir;

    void paint(const std::string &name, const std::vector<std::string> &rows) {
        std::vector<Rgb> pixels;
        for (const std::string &row : rows)
            for (char c : row)
                pixels.push_back(colourOf(c));
        ASSERT_TRUE(testimages::writeRgbPng(dir.file(name), static_cast<uint32_t>(rows[0].size()),
                                            static_cast<uint32_t>(rows.size()), pixels));
    }
    // Every case runs with one thread and, in a copy of the folder, with four:
    // the output and every file must be the same byte for byte.
    RunResult run(const std::vector<std::string> &arguments) {
        TempDir copy;
        std::filesystem::copy(dir.path, copy.path, std::filesystem::copy_options::recursive);
        RunResult four = runMorvik(withThreads(arguments, "4"), copy.path);
        RunResult one = runMorvik(withThreads(arguments, "1"), dir.path);
        EXPECT_EQ(four.output, one.output);
        EXPECT_EQ(four.status, one.status);
        EXPECT_EQ(listDir(copy.path), listDir(dir.path));
        for (const std::string &name : listDir(dir.path))
            EXPECT_EQ(readFileBytes(copy.file(name)), file(name)) << name << " differs under -j 4";
        return one;
    }
    static std::vector<std::string> withThreads(std::vector<std::string> arguments,
                                                const char *threads) {
        arguments.insert(arguments.begin(), {"-j", threads});
        return arguments;
    }
    Bytes file(const std::string &name) { return readFileBytes(dir.file(name)); }
    std::vector<std::string> files() { return listDir(dir.path); }
};

using Names = std::vector<std::string>;

TEST_F(GoldenTest, SmsOptimisedWithPreview) {
    paint("pic.png", kPicture);
    RunResult r = run(
        {"-image", "pic.png", "-target", "sms", "-opt", "-o", "gfx.pat", "-preview", "prev.bmp"});
    // 4 colours in p4: two planes. Optimised 2 tiles x 16 = 32 of 192 bytes, 16.7%.
    EXPECT_EQ(r.output, "\nUsing 2 bitplanes (16 bytes) for each tile.\n"
                        "Warning: Storing 2 of the 4 bit planes the console reads; use -planes 4 "
                        "to load the data as it is.\n"
                        "Writing pattern data to gfx.pat..\n"
                        "Unoptmized size: 192 bytes.\nOptimized size: 32 bytes (17%).\nDone.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(files(), (Names{"gfx.nam", "gfx.pal", "gfx.pat", "pic.png", "prev.bmp"}));
    // sms colour word: blue>>6 in bits 5..4, green>>6 in 3..2, red>>6 in 1..0.
    // W 3F, K 00, P (128,64,200) = 2,1,3 -> 0x36, R 03.
    EXPECT_EQ(file("gfx.pal"), (Bytes{0x3F, 0x00, 0x36, 0x03}));
    // Entries: tile number low byte, then (n>>8) | mirror code << 1.
    EXPECT_EQ(file("gfx.nam"),
              (Bytes{0x00, 0x00, 0x00, 0x02, 0x00, 0x04, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}));
    // Planes interleaved per row: tile A, then tile C.
    EXPECT_EQ(file("gfx.pat"), concat({kTileA2, kTileC2}));

    // Preview: 1078-byte header and colour table, then rows bottom-up.
    Bytes bmp = file("prev.bmp");
    ASSERT_EQ(bmp.size(), 1078u + 24 * 16);
    const Bytes header = {
        'B',  'M', 0xB6, 0x05, 0,    0, 0, 0, 0, 0, 0x36, 0x04, 0, 0, // size 1462, offset 1078
        0x28, 0,   0,    0,                                           // info header 40
        0x18, 0,   0,    0,    0x10, 0, 0, 0,                         // 24 x 16
        1,    0,   8,    0,                                           // planes, bits
        0,    0,   0,    0,    0,    0, 0, 0, 0, 0, 0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(bmp.begin(), bmp.begin() + 54), header);
    // sms widening ((v>>6)<<4) + v + 15 of the reduced components, stored
    // blue, green, red, 0: W (FF,FF,FF); K (0F,0F,0F); P reduced to
    // (80,40,C0) -> (AF,5F,FF); R (FF,0F,0F).
    const Bytes table = {0xFF, 0xFF, 0xFF, 0, 0x0F, 0x0F, 0x0F, 0,
                         0xFF, 0x5F, 0xAF, 0, 0x0F, 0x0F, 0xFF, 0};
    EXPECT_EQ(Bytes(bmp.begin() + 54, bmp.begin() + 70), table);
    Bytes rows;
    for (auto row = kPicture.rbegin(); row != kPicture.rend(); ++row)
        for (char c : *row)
            rows.push_back(static_cast<unsigned char>(std::string("WKPR").find(c)));
    EXPECT_EQ(Bytes(bmp.begin() + 1078, bmp.end()), rows);
}

TEST_F(GoldenTest, SmsWithoutOptKeepsEveryTileAndNamesFromTheInput) {
    paint("pic.png", kPicture);
    RunResult r = run({"-image", "pic.png", "-target", "sms"});
    EXPECT_EQ(r.output, "\nUsing 2 bitplanes (16 bytes) for each tile.\n"
                        "Warning: Storing 2 of the 4 bit planes the console reads; use -planes 4 "
                        "to load the data as it is.\n"
                        "Writing pattern data to pic.png.pat..\n"
                        "Unoptmized size: 192 bytes.\nOptimized size: 96 bytes (50%).\nDone.\n");
    EXPECT_EQ(r.status, 0);
    // One dot in the input name: the whole name is the stem.
    EXPECT_EQ(files(), (Names{"pic.png", "pic.png.nam", "pic.png.pal", "pic.png.pat"}));
    EXPECT_EQ(file("pic.png.pal"), (Bytes{0x3F, 0x00, 0x36, 0x03}));
    EXPECT_EQ(file("pic.png.nam"),
              (Bytes{0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05, 0x00}));
    EXPECT_EQ(file("pic.png.pat"), concat({kTileA2, kTileH2, kTileV2, kTileA2, kTileC2, kTileC2}));
}

TEST_F(GoldenTest, SmsTransparencySwapsBackgroundAndColourZero) {
    paint("pic.png", kPicture);
    // -bg 1,2: column 1 of row 2 from the top is P, index 2.
    RunResult r =
        run({"-image", "pic.png", "-target", "sms", "-opt", "-t", "-bg", "1,2", "-o", "gfx.pat"});
    EXPECT_EQ(r.output, "\nUsing 2 bitplanes (16 bytes) for each tile.\n"
                        "Warning: Storing 2 of the 4 bit planes the console reads; use -planes 4 "
                        "to load the data as it is.\n"
                        "Writing pattern data to gfx.pat..\n"
                        "Unoptmized size: 192 bytes.\nOptimized size: 32 bytes (17%).\nDone.\n");
    EXPECT_EQ(r.status, 0);
    // Palette entries in the order 2, 1, 0, 3: P, K, W, R.
    EXPECT_EQ(file("gfx.pal"), (Bytes{0x36, 0x00, 0x3F, 0x03}));
    EXPECT_EQ(file("gfx.nam"),
              (Bytes{0x00, 0x00, 0x00, 0x02, 0x00, 0x04, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}));
    // Stored values: P 2 -> 0, W 0 -> 2, K 1 and R 3 unchanged. Tile A:
    // row 0 3333 2222 -> F0 FF; row 2 1 0 1.. -> BF 00; row 3 -> DF 00;
    // row 7 2 1 1 1 1 1 1 0 -> 7E 80. Tile C stays FF 00.
    EXPECT_EQ(file("gfx.pat"), concat({{0xF0, 0xFF, 0xFF, 0x80, 0xBF, 0x00, 0xDF, 0x00, 0xFF, 0x00,
                                        0xFF, 0x00, 0xFF, 0x00, 0x7E, 0x80},
                                       kTileC2}));
}

TEST_F(GoldenTest, SggOptimised) {
    paint("pic.png", kPicture);
    RunResult r = run({"-image", "pic.png", "-target", "sgg", "-opt", "-o", "gfx.pat"});
    EXPECT_EQ(r.output, "\nUsing 2 bitplanes (16 bytes) for each tile.\n"
                        "Warning: Storing 2 of the 4 bit planes the console reads; use -planes 4 "
                        "to load the data as it is.\n"
                        "Writing pattern data to gfx.pat..\n"
                        "Unoptmized size: 192 bytes.\nOptimized size: 32 bytes (17%).\nDone.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(files(), (Names{"gfx.nam", "gfx.pal", "gfx.pat", "pic.png"}));
    // sgg colour word, little-endian: blue>>4 in 11..8, green>>4 in 7..4,
    // red>>4 in 3..0. W FF 0F; K 00 00; P 0x0C48 -> 48 0C; R 0F 00.
    EXPECT_EQ(file("gfx.pal"), (Bytes{0xFF, 0x0F, 0x00, 0x00, 0x48, 0x0C, 0x0F, 0x00}));
    EXPECT_EQ(file("gfx.nam"),
              (Bytes{0x00, 0x00, 0x00, 0x02, 0x00, 0x04, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}));
    EXPECT_EQ(file("gfx.pat"), concat({kTileA2, kTileC2}));
}

TEST_F(GoldenTest, SnesThreePlanesWithBase) {
    paint("pic.png", kPicture);
    RunResult r = run({"-image", "pic.png", "-target", "snes", "-opt", "-planes", "3", "-base", "4",
                       "-o", "gfx.pat"});
    // 2 tiles x 24 bytes = 48 of 192: 25%.
    EXPECT_EQ(r.output, "\nUsing 3 bitplanes (24 bytes) for each tile.\n"
                        "Warning: Storing 3 of the 4 bit planes the console reads; use -planes 4 "
                        "to load the data as it is.\n"
                        "Writing pattern data to gfx.pat..\n"
                        "Unoptmized size: 192 bytes.\nOptimized size: 48 bytes (25%).\nDone.\n");
    EXPECT_EQ(r.status, 0);
    // snes colour word, little-endian: blue>>3 in 14..10, green>>3 in 9..5,
    // red>>3 in 4..0. W FF 7F; K 00 00; P 25,8,16 -> 0x6510 -> 10 65; R 1F 00.
    // The base does not move the entries.
    EXPECT_EQ(file("gfx.pal"), (Bytes{0xFF, 0x7F, 0x00, 0x00, 0x10, 0x65, 0x1F, 0x00}));
    // Entries: tile number low byte, then (n>>8) | mirror code << 6.
    EXPECT_EQ(file("gfx.nam"),
              (Bytes{0x00, 0x00, 0x00, 0x40, 0x00, 0x80, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}));
    // Stored values are index + 4 (4..7): planes 0 and 1 as without base,
    // plane 2 set everywhere. Slot of 24 bytes: planes 0,1 side by side per
    // row, then the odd third plane one byte per row.
    const Bytes plane2(8, 0xFF);
    EXPECT_EQ(file("gfx.pat"), concat({kTileA2, plane2, kTileC2, plane2}));
}

TEST_F(GoldenTest, TgxDoesNotMirror) {
    paint("pic.png", kPicture);
    RunResult r = run({"-image", "pic.png", "-target", "tgx", "-opt", "-o", "gfx.pat"});
    // A, H, V and C: 4 tiles x 16 = 64 of 192 bytes, 33.3%.
    EXPECT_EQ(r.output, "\nUsing 2 bitplanes (16 bytes) for each tile.\n"
                        "Warning: Storing 2 of the 4 bit planes the console reads; use -planes 4 "
                        "to load the data as it is.\n"
                        "Writing pattern data to gfx.pat..\n"
                        "Unoptmized size: 192 bytes.\nOptimized size: 64 bytes (33%).\nDone.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(files(), (Names{"gfx.nam", "gfx.pal", "gfx.pat", "pic.png"}));
    // tgx colour word, little-endian: green>>5 in 8..6, red>>5 in 5..3,
    // blue>>5 in 2..0. W 0x1FF -> FF 01; K 00 00; P 2,4,6 -> 0xA6; R 0x38.
    EXPECT_EQ(file("gfx.pal"), (Bytes{0xFF, 0x01, 0x00, 0x00, 0xA6, 0x00, 0x38, 0x00}));
    // Tile number, little-endian, no mirror bits.
    EXPECT_EQ(file("gfx.nam"),
              (Bytes{0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x03, 0x00}));
    // Two planes in one pair: the same bytes as interleaved rows.
    EXPECT_EQ(file("gfx.pat"), concat({kTileA2, kTileH2, kTileV2, kTileC2}));
}

TEST_F(GoldenTest, SmdPackedNibbles) {
    paint("pic.png", kPicture);
    RunResult r = run({"-image", "pic.png", "-target", "smd", "-opt", "-o", "gfx.pat"});
    // l4: no bit-plane line. 2 tiles x 32 = 64 of 192 bytes.
    EXPECT_EQ(r.output, "\nWriting pattern data to gfx.pat..\n"
                        "Unoptmized size: 192 bytes.\nOptimized size: 64 bytes (33%).\nDone.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(files(), (Names{"gfx.nam", "gfx.pal", "gfx.pat", "pic.png"}));
    // smd colour word, big-endian: blue>>5 in 11..9, green>>5 in 7..5,
    // red>>5 in 3..1. W 0EEE; K 0000; P 6,2,4 -> 0C48; R 000E.
    EXPECT_EQ(file("gfx.pal"), (Bytes{0x0E, 0xEE, 0x00, 0x00, 0x0C, 0x48, 0x00, 0x0E}));
    // Big-endian: mirror code in bits 12..11, tile number below.
    EXPECT_EQ(file("gfx.nam"),
              (Bytes{0x00, 0x00, 0x08, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01}));
    // Two pixels a byte, left pixel in the high nibble. Tile A rows:
    // 3333 0000 -> 33 33 00 00; 3111 1111 -> 31 11 11 11; 1211 1111 ->
    // 12 11 11 11; 1121 1111 -> 11 21 11 11; all 1 -> 11 x4; 0111 1112 ->
    // 01 11 11 12. Tile C: 11 everywhere.
    const Bytes tileA = {0x33, 0x33, 0x00, 0x00, 0x31, 0x11, 0x11, 0x11, 0x12, 0x11, 0x11,
                         0x11, 0x11, 0x21, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                         0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x01, 0x11, 0x11, 0x12};
    EXPECT_EQ(file("gfx.pat"), concat({tileA, Bytes(32, 0x11)}));
}

TEST_F(GoldenTest, Bitmap32xL8MapsEveryPixel) {
    paint("a.png", kTileA);
    // -bg 1,2 is P, index 2; base 16.
    RunResult r = run(
        {"-image", "a.png", "-target", "32x", "-t", "-bg", "1,2", "-base", "16", "-o", "gfx.pat"});
    // Bitmap mode: no plane line, no statistics, no name table.
    EXPECT_EQ(r.output, "\nWriting pattern data to gfx.pat..\nDone.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(files(), (Names{"a.png", "gfx.pal", "gfx.pat"}));
    // 32x colour word, big-endian: bit 15 set, blue>>3 in 14..10, green>>3
    // in 9..5, red>>3 in 4..0. Entries in the order 2, 1, 0, 3:
    // P 0xE510, K 0x8000, W 0xFFFF, R 0x801F.
    EXPECT_EQ(file("gfx.pal"), (Bytes{0xE5, 0x10, 0x80, 0x00, 0xFF, 0xFF, 0x80, 0x1F}));
    // One byte per pixel, rows from the top: P 2 -> 0, W 0 -> 16 + 2 = 0x12,
    // K 1 -> 0x11, R 3 -> 0x13.
    EXPECT_EQ(file("gfx.pat"), (Bytes{0x13, 0x13, 0x13, 0x13, 0x12, 0x12, 0x12, 0x12, //
                                      0x13, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, //
                                      0x11, 0x00, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, //
                                      0x11, 0x11, 0x00, 0x11, 0x11, 0x11, 0x11, 0x11, //
                                      0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, //
                                      0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, //
                                      0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, //
                                      0x12, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x00}));
}

TEST_F(GoldenTest, Bitmap32xD15StoresColourWords) {
    paint("a.png", kTileA);
    RunResult r = run({"-image", "a.png", "-target", "32x", "-format", "d15", "-preview", "p.bmp",
                       "-o", "gfx.pat"});
    EXPECT_EQ(r.output, "\nWriting pattern data to gfx.pat..\n"
                        "Warning: No preview for direct colour (d15).\nDone.\n");
    EXPECT_EQ(r.status, 0);
    // No palette, no name table, no preview.
    EXPECT_EQ(files(), (Names{"a.png", "gfx.pat"}));
    // Word 0x8000 | blue>>3 << 10 | green>>3 << 5 | red>>3, high byte first:
    // R 80 1F, W FF FF, K 80 00, P (25,8,16) E5 10.
    const Bytes R = {0x80, 0x1F}, W = {0xFF, 0xFF}, K = {0x80, 0x00}, P = {0xE5, 0x10};
    EXPECT_EQ(file("gfx.pat"), concat({R, R, R, R, W, W, W, W, //
                                       R, K, K, K, K, K, K, K, //
                                       K, P, K, K, K, K, K, K, //
                                       K, K, P, K, K, K, K, K, //
                                       K, K, K, K, K, K, K, K, //
                                       K, K, K, K, K, K, K, K, //
                                       K, K, K, K, K, K, K, K, //
                                       W, K, K, K, K, K, K, P}));
}

TEST_F(GoldenTest, SmsPackWithCode) {
    paint("pic.png", kPicture);
    RunResult r =
        run({"-image", "pic.png", "-target", "sms", "-opt", "-pack", "-code", "-o", "title.lzs"});
    // 20 bytes of 192: 10.4%.
    EXPECT_EQ(r.output, "\nUsing 2 bitplanes (16 bytes) for each tile.\n"
                        "Encoding pattern data and writing to title.lzs..\n"
                        "Unoptimized size: 192 bytes.\nOptimized size: 32 bytes (17%).\n"
                        "Compressed size: 20 bytes (10%).\n"
                        "Writing code to title.asm\nDone.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(files(), (Names{"pic.png", "title.asm", "title.lzs", "title.nam", "title.pal"}));
    // The 32 pattern bytes (tile A, tile C), dictionary 4096, threshold 2,
    // first write position 4078 (pattern byte i at ring position 4078 + i):
    //   bytes 0..7 F0 F0 FF 80 BF 40 DF 20: no earlier string shares more
    //     than one byte: eight literals, flag FF.
    //   byte 8 FF, byte 9 00: literals ("FF 00" and "00 FF" are new).
    //   bytes 10..13 FF 00 FF 00: match at byte 8 (4086 = 0xFF6), length 4:
    //     F6, F0 | (4 - 3) = F1.
    //   byte 14 7E, byte 15 01: literals.
    //   bytes 16..21: the longest earlier match is byte 8's "FF 00 FF 00 FF
    //     00" (byte 14's 7E ends it): F6, F0 | 3 = F3.
    //   bytes 22..31: bytes 16, 18 and 20 all match for the 10 bytes left;
    //     byte 16 is met first on the tree path: 4094 = 0xFFE, length 10:
    //     FE, F0 | 7 = F7.
    //   Second group L L M L L M M: flag 0b0011011 = 1B.
    EXPECT_EQ(file("title.lzs"),
              (Bytes{0xFF, 0xF0, 0xF0, 0xFF, 0x80, 0xBF, 0x40, 0xDF, 0x20, 0x1B,
                     0xFF, 0x00, 0xF6, 0xF1, 0x7E, 0x01, 0xF6, 0xF3, 0xFE, 0xF7}));
    EXPECT_EQ(file("title.pal"), (Bytes{0x3F, 0x00, 0x36, 0x03}));
    EXPECT_EQ(file("title.nam"),
              (Bytes{0x00, 0x00, 0x00, 0x02, 0x00, 0x04, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}));

    Bytes asmBytes = file("title.asm");
    std::istringstream text(std::string(asmBytes.begin(), asmBytes.end()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_TRUE(std::regex_match(
        lines[0], std::regex(R"(; Created by Morvik on \d\d/\d\d/\d\d \d\d:\d\d:\d\d)")))
        << lines[0];
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
              (Names{"", ".DEFINE LZSS_DICTIONARY_SIZE 4096", ".DEFINE LZSS_THRESHOLD 2",
                     ".DEFINE LZSS_LEN_BITS 4", ".DEFINE LZSS_LEN_MASK $0f",
                     ".DEFINE LZSS_MAX_LEN 18", ".DEFINE LZSS_PLANES_USED 2",
                     ".DEFINE LZSS_FORMAT_PLANES 4", "", "title_pattern:", ".incbin \"title.lzs\"",
                     "title_pattern_end:", "", "title_pattern_decode:", "ld ix,title_pattern",
                     "ld iy,title_pattern_end-title_pattern", "call lzss_decode_vram", "ret"}));
    EXPECT_EQ(asmBytes.back(), '\n');

    // The stream unpacks to the pattern bytes of the same job without -pack.
    RunResult unpack = run({"-unpack", "title.lzs", "-o", "back.bin"});
    EXPECT_EQ(unpack.status, 0);
    EXPECT_EQ(file("back.bin"), concat({kTileA2, kTileC2}));
}

TEST_F(GoldenTest, PreviewDecodesInTheImageModule) {
    paint("pic.png", kPicture);
    ASSERT_EQ(run({"-image", "pic.png", "-target", "sms", "-preview", "prev.bmp"}).status, 0);
    MorvikImage *image = CXI_LoadImage(dir.file("prev.bmp").c_str(), 0, 0, 0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(CXI_GetWidth(image), 24);
    EXPECT_EQ(CXI_GetHeight(image), 16);
    const int bpp = CXI_GetBpp(image);
    ASSERT_TRUE(bpp == 24 || bpp == 32) << bpp;
    const uint8_t *bits = CXI_GetBits(image);
    // Blue, green, red of column x, row y counted from the bottom.
    auto pixel = [&](int x, int y) {
        const uint8_t *p =
            bits + (static_cast<size_t>(y) * 24 + static_cast<size_t>(x)) * (bpp / 8);
        return Bytes{p[0], p[1], p[2]};
    };
    EXPECT_EQ(pixel(0, 0), (Bytes{0xFF, 0xFF, 0xFF}));   // W
    EXPECT_EQ(pixel(7, 0), (Bytes{0xFF, 0x5F, 0xAF}));   // P widened
    EXPECT_EQ(pixel(8, 0), (Bytes{0x0F, 0x0F, 0x0F}));   // K shows as (15,15,15)
    EXPECT_EQ(pixel(0, 15), (Bytes{0x0F, 0x0F, 0xFF}));  // R, top-left
    EXPECT_EQ(pixel(23, 15), (Bytes{0xFF, 0x5F, 0xAF})); // P, top-right
    CXI_FreeImage(image);
}

// ---------------------------------------------------------------------------
// Every .lzs an image job writes unpacks to the .pat of the same job without
// -pack, with the codec settings the job reports (or the defaults).

struct GoldenRoundTripTest : GoldenTest {
    // A busier 64x48 picture of 16 colours: diagonal stripes on the left
    // (many repeats), an irregular pattern on the right.
    void paintBusy(const std::string &name) {
        std::vector<Rgb> pixels;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                int c = x < 32 ? ((x + y) / 3) % 16 : ((x * 7 + y * y * 3) >> 2) % 16;
                pixels.push_back({static_cast<uint8_t>(c * 16), static_cast<uint8_t>(255 - c * 16),
                                  static_cast<uint8_t>((c * 37) & 0xFF)});
            }
        ASSERT_TRUE(testimages::writeRgbPng(dir.file(name), 64, 48, pixels));
    }

    void check(const std::string &picture, const std::vector<std::string> &jobArgs,
               const std::vector<std::string> &packArgs, bool fixedSettings) {
        SCOPED_TRACE(picture);
        std::vector<std::string> raw = {"-image", picture, "-o", "raw.pat"};
        raw.insert(raw.end(), jobArgs.begin(), jobArgs.end());
        ASSERT_EQ(run(raw).status, 0);
        std::vector<std::string> pack = {"-image", picture, "-pack", "-v", "-o", "packed.lzs"};
        pack.insert(pack.end(), jobArgs.begin(), jobArgs.end());
        pack.insert(pack.end(), packArgs.begin(), packArgs.end());
        RunResult packed = run(pack);
        ASSERT_EQ(packed.status, 0) << packed.output;

        std::string dict = "4096", threshold = "2";
        std::smatch found;
        static const std::regex chosen(R"(Using LZSS settings -dict (\d+) -threshold (\d+)\.)");
        const bool searched = std::regex_search(packed.output, found, chosen);
        if (searched) {
            dict = found[1];
            threshold = found[2];
        } else if (!fixedSettings) {
            for (size_t i = 0; i + 1 < packArgs.size(); ++i) {
                if (packArgs[i] == "-dict")
                    dict = packArgs[i + 1];
                if (packArgs[i] == "-threshold")
                    threshold = packArgs[i + 1];
            }
        }
        // The search runs and reports only when asked for, and never on 32x.
        const bool autocomp =
            std::find(packArgs.begin(), packArgs.end(), "-autocomp") != packArgs.end();
        EXPECT_EQ(searched, autocomp && !fixedSettings) << packed.output;
        Bytes stream = file("packed.lzs");
        if (searched) {
            // The winner's bytes are what a plain -pack with its settings writes.
            std::vector<std::string> again = {"-image", picture,      "-pack",
                                              "-o",     "again.lzs",  "-dict",
                                              dict,     "-threshold", threshold};
            again.insert(again.end(), jobArgs.begin(), jobArgs.end());
            ASSERT_EQ(run(again).status, 0);
            EXPECT_EQ(file("again.lzs"), stream);
        }

        RunResult unpacked = run(
            {"-unpack", "packed.lzs", "-o", "back.bin", "-dict", dict, "-threshold", threshold});
        ASSERT_EQ(unpacked.status, 0);
        Bytes expected = file("raw.pat");
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(file("back.bin"), expected)
            << "settings -dict " << dict << " -threshold " << threshold;
    }
};

TEST_F(GoldenRoundTripTest, EveryLzsUnpacksToThePattern) {
    paint("pic.png", kPicture);
    paintBusy("busy.png");
    const std::vector<std::vector<std::string>> jobs = {
        {"-target", "sms"},
        {"-target", "sms", "-opt"},
        {"-target", "sgg", "-opt"},
        {"-target", "snes", "-opt", "-planes", "3", "-base", "4"},
        {"-target", "snes", "-format", "p8"},
        {"-target", "tgx", "-opt"},
        {"-target", "smd", "-opt"},
        {"-target", "32x"},
        {"-target", "32x", "-format", "d15"},
    };
    const std::vector<std::vector<std::string>> packings = {{},
                                                            {"-autocomp"},
                                                            {"-dict", "1024", "-threshold", "3"},
                                                            {"-dict", "512", "-threshold", "4"}};
    for (const std::string picture : {"pic.png", "busy.png"})
        for (const auto &job : jobs)
            for (const auto &packing : packings) {
                SCOPED_TRACE(testing::PrintToString(job) + testing::PrintToString(packing));
                check(picture, job, packing, job[1] == "32x");
            }
}

} // namespace
