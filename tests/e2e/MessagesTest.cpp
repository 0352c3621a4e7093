// Runs that used to succeed silently while doing nothing useful, or while
// losing data: the three fixed faults as golden cases, and the lines that now
// tell the user what happened and what to do.
#include "e2e/RunMorvik.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace {

using testimages::Rgb;
using Bytes = std::vector<unsigned char>;

struct MessagesTest : testing::Test {
    TempDir dir;
    RunResult run(const std::vector<std::string> &arguments) {
        return runMorvik(arguments, dir.path);
    }
    Bytes file(const std::string &name) { return readFileBytes(dir.file(name)); }
    // Column x takes colour x % colours; row y (from the top) is shifted by `shift`.
    void stripes(const std::string &name, uint32_t width, uint32_t height, int colours) {
        std::vector<uint8_t> indexes;
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                indexes.push_back(static_cast<uint8_t>(x % static_cast<uint32_t>(colours)));
        ASSERT_TRUE(
            testimages::writeIndexedPng(dir.file(name), width, height, indexes, palette(colours)));
    }
    static std::vector<Rgb> palette(int colours) {
        std::vector<Rgb> entries;
        for (int c = 0; c < colours; ++c)
            entries.push_back({static_cast<uint8_t>(c * 16), static_cast<uint8_t>(255 - c * 8),
                               static_cast<uint8_t>(c * 4)});
        return entries;
    }
};

// -base 8 with eight colours stores 8..15: all four planes, plane 3 set on
// every pixel (it used to be dropped: three planes, every pixel wrong).
TEST_F(MessagesTest, BaseColourKeepsTheHighBit) {
    stripes("b.png", 8, 8, 8);
    RunResult r = run({"-image", "b.png", "-target", "sms", "-opt", "-base", "8", "-o", "b.pat"});
    EXPECT_EQ(r.output, "\nUsing 4 bitplanes (32 bytes) for each tile.\n"
                        "Writing pattern data to b.pat..\n"
                        "Unoptmized size: 32 bytes.\nOptimized size: 32 bytes (100%).\nDone.\n");
    const Bytes patterns = file("b.pat");
    ASSERT_EQ(patterns.size(), 32u);
    // Row r: planes 0..3 of pixels x = 0..7 (values 8 + x), bit 7 - x.
    for (size_t row = 0; row < 8; ++row) {
        EXPECT_EQ(patterns[4 * row + 0], 0x55) << row; // odd x
        EXPECT_EQ(patterns[4 * row + 1], 0x33) << row;
        EXPECT_EQ(patterns[4 * row + 2], 0x0F) << row;
        EXPECT_EQ(patterns[4 * row + 3], 0xFF) << row; // the base's bit
    }
}

// With -t the padding takes colour 0, the colour of the pixel -bg names from
// the top, although the bottom-left pixel differs.
TEST_F(MessagesTest, TransparencyMakesThePaddingColourZero) {
    std::vector<uint8_t> indexes(12 * 8, 1);
    indexes[0] = 2; // top-left: the transparent colour
    ASSERT_TRUE(testimages::writeIndexedPng(dir.file("t.png"), 12, 8, indexes, palette(3)));
    RunResult r = run({"-image", "t.png", "-target", "sms", "-t", "-o", "t.pat"});
    ASSERT_EQ(r.status, 0) << r.output;
    const Bytes patterns = file("t.pat");
    ASSERT_EQ(patterns.size(), 2u * 8); // two colours: two tiles of one plane
    // Tile 1 holds columns 8..15; 12..15 are padding: x 4..7, the low nibble.
    for (size_t row = 0; row < 8; ++row)
        EXPECT_EQ(patterns[8 + row] & 0x0F, 0) << row;
    // Without -t the padding keeps the bottom-left pixel's colour, as before.
    RunResult opaque = run({"-image", "t.png", "-target", "sms", "-o", "o.pat"});
    ASSERT_EQ(opaque.status, 0) << opaque.output;
    EXPECT_NE(file("o.pat"), patterns);
}

// -chain used to write a pattern file of zeros and say nothing.
TEST_F(MessagesTest, ChainIsIgnoredWithAWarning) {
    stripes("c.png", 16, 8, 4);
    RunResult plain = run({"-image", "c.png", "-target", "snes", "-o", "p.pat"});
    RunResult chained = run({"-image", "c.png", "-target", "snes", "-chain", "-o", "c.pat"});
    EXPECT_EQ(file("c.pat"), file("p.pat"));
    const std::string warning = "Warning: -chain is not supported. Ignored.\n";
    const size_t at = chained.output.find(warning);
    ASSERT_NE(at, std::string::npos) << chained.output;
    std::string without = chained.output;
    without.erase(at, warning.size());
    EXPECT_EQ(without, std::string(plain.output).replace(plain.output.find("p.pat"), 5, "c.pat"));
}

TEST_F(MessagesTest, SettingsNeededToUnpackArePrinted) {
    stripes("s.png", 16, 8, 4);
    RunResult searched = run({"-image", "s.png", "-target", "smd", "-pack", "-autocomp"});
    EXPECT_NE(searched.output.find("Using LZSS settings -dict "), std::string::npos);
    EXPECT_EQ(searched.output.find("Trying codec settings"), std::string::npos); // -v only
    for (const std::vector<std::string> &extra :
         {std::vector<std::string>{"-dict", "1024"}, {"-threshold", "3"}, {"-autocomp"}}) {
        std::vector<std::string> arguments = {"-image", "s.png", "-target", "32x", "-pack"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        RunResult r = run(arguments);
        EXPECT_NE(r.output.find("Warning: 32x pattern data is always packed with -dict 4096 "
                                "-threshold 2.\nEncoding pattern data"),
                  std::string::npos)
            << r.output;
    }
    RunResult defaults = run({"-image", "s.png", "-target", "32x", "-pack"});
    EXPECT_EQ(defaults.output.find("always packed"), std::string::npos);
}

TEST_F(MessagesTest, TileLimitSaysWhatHelps) {
    // 513 different tiles: one over the sms name table's limit.
    std::mt19937 random(7);
    std::vector<uint8_t> indexes(513 * 8 * 8);
    for (uint8_t &index : indexes)
        index = static_cast<uint8_t>(random() % 16);
    ASSERT_TRUE(testimages::writeIndexedPng(dir.file("m.png"), 513 * 8, 8, indexes, palette(16)));
    RunResult plain = run({"-image", "m.png", "-target", "sms"});
    EXPECT_NE(plain.output.find("Warning: More than 512 unique tiles. No name table will be "
                                "written.\nWarning: Found 513 unique tiles; -opt drops repeated "
                                "and mirrored tiles.\n"),
              std::string::npos)
        << plain.output;
    RunResult optimised = run({"-image", "m.png", "-target", "sms", "-opt"});
    EXPECT_NE(optimised.output.find("Warning: Found 513 unique tiles; a name table holds at most "
                                    "512: use fewer distinct tiles, or split the picture.\n"),
              std::string::npos)
        << optimised.output;
}

TEST_F(MessagesTest, UnknownNamesAndNothingToDo) {
    stripes("n.png", 8, 8, 2);
    EXPECT_EQ(run({"-image", "n.png", "-target", "sms", "-format", "p3"})
                  .output.rfind("Warning: Unknown format p3. Using the target's default.\n\n", 0),
              0u);
    EXPECT_EQ(run({"n.png", "-v"}).output,
              "\nWarning: Nothing to do: add -image to convert a picture, or -pack/-unpack.\n"
              "Done.\n");
    writeFileBytes(dir.file("data.bin"), Bytes{1, 2, 3});
    EXPECT_EQ(run({"data.bin", "-v"}).output, "\nDone.\n");
}

} // namespace

namespace {

// After "Failed to load image file" comes the reason.
TEST_F(MessagesTest, FailedLoadsSayWhy) {
    stripes("whole.png", 16, 16, 4);
    Bytes png = file("whole.png");
    writeFileBytes(dir.file("cut.png"), Bytes(png.begin(), png.begin() + 60));
    writeFileBytes(dir.file("notes.txt"), Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
    writeFileBytes(dir.file("empty.png"), Bytes{});
    std::filesystem::create_directory(dir.file("folder.png"));
    const std::string head = "\nError: Failed to load image file: ";
    struct Case {
        const char *name;
        std::string reason;
    };
    const Case cases[] = {
        {"missing.png", "Error: No such file or directory.\n"},
        {"folder.png", "Error: folder.png is a directory.\n"},
        {"empty.png", "Error: The file is empty.\n"},
        {"notes.txt", "Error: Not a picture format morvik reads (PNG, BMP, GIF, JPEG, TGA, PNM, "
                      "PSD), or a damaged one.\n"},
    };
    for (const Case &c : cases) {
        RunResult r = run({"-image", c.name, "-target", "sms"});
        EXPECT_EQ(r.output, head + c.name + "\n" + c.reason);
        EXPECT_EQ(r.status, 1);
    }
    // A damaged PNG: libpng's own words follow.
    RunResult cut = run({"-image", "cut.png", "-target", "sms"});
    EXPECT_EQ(
        cut.output.rfind(head + "cut.png\nError: The picture's data is truncated or corrupt", 0),
        0u)
        << cut.output;
}

} // namespace
