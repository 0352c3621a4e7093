// The image job through the built binary: its messages, in order, and how
// each end of the job exits.
#include "e2e/RunMorvik.hpp"

#include <gtest/gtest.h>

namespace {

using testimages::Rgb;

// A picture of `colours` distinct colours in vertical stripes one pixel wide.
std::vector<Rgb> stripes(uint32_t width, uint32_t height, int colours) {
    std::vector<Rgb> pixels;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            int c = static_cast<int>(x) % colours;
            pixels.push_back({static_cast<uint8_t>(c * 13), static_cast<uint8_t>(255 - c * 7),
                              static_cast<uint8_t>(c * 3)});
        }
    return pixels;
}

struct ImageJobTest : testing::Test {
    TempDir dir;
    void picture(const std::string &name, uint32_t w, uint32_t h, int colours) {
        ASSERT_TRUE(testimages::writeRgbPng(dir.file(name), w, h, stripes(w, h, colours)));
    }
    RunResult run(const std::vector<std::string> &arguments) {
        return runMorvik(arguments, dir.path);
    }
};

TEST_F(ImageJobTest, WithoutTargetStopsAfterTheTilesAndWritesNothing) {
    picture("a.png", 16, 16, 4);
    RunResult r = run({"-image", "a.png", "-v"});
    EXPECT_EQ(r.output, "\nLoading image file: a.png\nCounting colors..\n"
                        "Identifying unique tiles.. Found 4 unique tiles (of 4).\n"
                        "Warning: No -target given: nothing is written.\nDone.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(run({"-image", "a.png"}).output,
              "\nWarning: No -target given: nothing is written.\nDone.\n");
    EXPECT_EQ(listDir(dir.path), (std::vector<std::string>{"a.png"}));
}

TEST_F(ImageJobTest, FormatAndQuantiseWarnings) {
    picture("a.png", 8, 8, 2);
    EXPECT_EQ(run({"-image", "a.png", "-format", "p4"}).output,
              "\nWarning: Unsupported format (4) for this target. Using default.\n"
              "Warning: Format p4 is not accepted. Without -target the picture takes l8; using "
              "l8.\nWarning: No -target given: nothing is written.\nDone.\n");
    EXPECT_EQ(run({"-image", "a.png", "-target", "sms", "-q", "99"}).output,
              "\nWarning: Illegal quantise parameter (99). Using default (16).\n"
              "Using 1 bitplanes (8 bytes) for each tile.\n"
              "Warning: Storing 1 of the 4 bit planes the console reads; use -planes 4 to "
              "load the data as it is.\n"
              "Writing pattern data to a.png.pat..\nUnoptmized size: 32 bytes.\nOptimized size: 8 "
              "bytes (25%).\nDone.\n");
    EXPECT_EQ(run({"-image", "a.png", "-target", "32x", "-format", "d15", "-q", "5"}).output,
              "\nWarning: Illegal quantise parameter (5). Using default (0).\n"
              "Writing pattern data to a.png.pat..\nDone.\n");
    EXPECT_EQ(run({"-image", "a.png", "-target", "smd", "-format", "p4", "-planes", "2"}).output,
              "\nWarning: Unsupported format (4) for this target. Using default.\n"
              "Warning: Format p4 is not accepted. Target smd takes l4; using l4.\n"
              "Warning: -planes ignored for linear/direct formats.\n"
              "Writing pattern data to a.png.pat..\nUnoptmized size: 32 bytes.\nOptimized size: 32 "
              "bytes (100%).\nDone.\n");
    EXPECT_EQ(run({"-image", "a.png", "-target", "sms", "-planes", "5"}).output,
              "\nWarning: Bad value for -planes. Using default (4).\n"
              "Using 4 bitplanes (32 bytes) for each tile.\n"
              "Writing pattern data to a.png.pat..\nUnoptmized size: 32 bytes.\nOptimized size: 32 "
              "bytes (100%).\nDone.\n");
    EXPECT_EQ(run({"-image", "a.png", "-target", "snes", "-format", "p2", "-base", "3"}).output,
              "\nWarning: base + # colors > 4. Using base=0.\n"
              "Using 1 bitplanes (8 bytes) for each tile.\n"
              "Warning: Storing 1 of the 2 bit planes the console reads; use -planes 2 to "
              "load the data as it is.\n"
              "Writing pattern data to a.png.pat..\nUnoptmized size: 16 bytes.\nOptimized size: 8 "
              "bytes (50%).\nDone.\n");
}

TEST_F(ImageJobTest, PaddingResizingAndQuantising) {
    picture("odd.png", 13, 5, 3);
    EXPECT_EQ(run({"-image", "odd.png", "-target", "sms"}).output,
              "\nWarning: Width is not a multiple of 8. Padding to 16 pixels.\n"
              "Warning: Height is not a multiple of 8. Padding to 8 pixels.\n"
              "Using 2 bitplanes (16 bytes) for each tile.\n"
              "Warning: Storing 2 of the 4 bit planes the console reads; use -planes 4 to "
              "load the data as it is.\n"
              "Writing pattern data to odd.png.pat..\nUnoptmized size: 64 bytes.\nOptimized size: "
              "32 bytes (50%).\nDone.\n");
    RunResult outside = run({"-image", "odd.png", "-target", "sms", "-bg", "13,0"});
    EXPECT_EQ(outside.output, "\nWarning: Width is not a multiple of 8. Padding to 16 pixels.\n"
                              "Warning: Height is not a multiple of 8. Padding to 8 pixels.\n"
                              "Error: Background position 13,0 is outside the image.\n");
    EXPECT_EQ(outside.status, 1);

    picture("wide.png", 100, 50, 2);
    EXPECT_EQ(run({"-image", "wide.png", "-width", "64", "-v"}).output,
              "\nLoading image file: wide.png\nResizing image to 64*50 pixels.\nCounting colors..\n"
              "Warning: Height is not a multiple of 8. Padding to 56 pixels.\n"
              "Identifying unique tiles.. Found 56 unique tiles (of 56).\n"
              "Warning: No -target given: nothing is written.\nDone.\n");
    // Asking for the size the image has already is no resize.
    EXPECT_EQ(run({"-image", "wide.png", "-width", "100", "-v"}).output,
              "\nLoading image file: wide.png\nCounting colors..\n"
              "Warning: Width is not a multiple of 8. Padding to 104 pixels.\n"
              "Warning: Height is not a multiple of 8. Padding to 56 pixels.\n"
              "Identifying unique tiles.. Found 91 unique tiles (of 91).\n"
              "Warning: No -target given: nothing is written.\nDone.\n");

    picture("many.png", 32, 8, 20);
    EXPECT_EQ(run({"-image", "many.png", "-target", "sms", "-v"}).output,
              "\nLoading image file: many.png\nCounting colors..\n"
              "Quantising 20 colours to 16.\n"
              "More than 16 colors found. Quantising image..\n"
              "NeuQuant: Running quantiser learning loop.\nNeuQuant: Mapping colors.\n"
              "Identifying unique tiles.. Found 4 unique tiles (of 4).\n"
              "Using 4 bitplanes (32 bytes) for each tile.\n"
              "Writing palette data (16 colors) to many.png.pal\n"
              "Writing name table data to many.png.nam\n"
              "Writing pattern data to many.png.pat..\nUnoptmized size: 128 bytes.\nOptimized "
              "size: 128 bytes (100%).\nDone.\n");
    // The quantiser's two lines are printed without -v too.
    EXPECT_EQ(run({"-image", "many.png", "-target", "smd", "-q", "4", "-dither"}).output,
              "\nQuantising 20 colours to 4.\n"
              "NeuQuant: Running quantiser learning loop.\nNeuQuant: Mapping colors.\n"
              "Writing pattern data to many.png.pat..\nUnoptmized size: 128 bytes.\nOptimized "
              "size: 128 bytes (100%).\nDone.\n");
}

TEST_F(ImageJobTest, TransparencyChecksTheBackgroundPosition) {
    picture("a.png", 16, 8, 4);
    EXPECT_EQ(run({"-image", "a.png", "-target", "sms", "-t", "-bg", "15,7"}).status, 0);
    RunResult r = run({"-image", "a.png", "-target", "sms", "-t", "-bg", "3,8"});
    EXPECT_EQ(r.output, "\nUsing 2 bitplanes (16 bytes) for each tile.\n"
                        "Warning: Storing 2 of the 4 bit planes the console reads; use -planes 4 "
                        "to load the data as it is.\n"
                        "Error: Background position 3,8 is outside the image.\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(run({"-image", "a.png", "-target", "sms", "-t", "-bg", "-1,0"}).status, 1);
}

TEST_F(ImageJobTest, AlphaWarningWhenSomePixelIsTranslucentOrInVerboseMode) {
    testimages::PngPicture rgba = testimages::makePngPicture(8, 8, PNG_COLOR_TYPE_RGBA);
    rgba.rows.assign(8, std::vector<uint8_t>(32, 200));
    ASSERT_TRUE(testimages::writePng(dir.file("alpha.png"), rgba));
    EXPECT_EQ(run({"-image", "alpha.png", "-target", "sgg"}).output,
              "\nWarning: Alpha channel is ignored for 32-bit images.\n"
              "Using 0 bitplanes (0 bytes) for each tile.\n"
              "Warning: Storing 0 of the 4 bit planes the console reads; use -planes 4 to "
              "load the data as it is.\n"
              "Writing pattern data to alpha.png.pat..\nUnoptmized size: 32 bytes.\nOptimized "
              "size: 0 bytes (0%).\nDone.\n");
    EXPECT_EQ(run({"-image", "alpha.png", "-v"}).output,
              "\nLoading image file: alpha.png\nWarning: Alpha channel is ignored for 32-bit "
              "images.\nCounting colors..\nIdentifying unique tiles.. Found 1 unique tiles (of "
              "1).\nWarning: No -target given: nothing is written.\nDone.\n");
    // Fully opaque: no warning without -v.
    rgba.rows.assign(8, std::vector<uint8_t>(32, 255));
    ASSERT_TRUE(testimages::writePng(dir.file("opaque.png"), rgba));
    EXPECT_EQ(run({"-image", "opaque.png"}).output,
              "\nWarning: No -target given: nothing is written.\nDone.\n");
}

TEST_F(ImageJobTest, BrokenInputsEndWithStatusOne) {
    writeFileBytes(dir.file("text.png"), {'h', 'e', 'l', 'l', 'o'});
    for (const char *name : {"text.png", "missing.png", "."}) {
        RunResult r = run({"-image", name, "-target", "sms"});
        EXPECT_EQ(r.output.rfind(
                      std::string("\nError: Failed to load image file: ") + name + "\nError: ", 0),
                  0u)
            << r.output;
        EXPECT_EQ(r.status, 1);
    }
}

TEST_F(ImageJobTest, NameTableGates) {
    // Every tile of a stripe picture without -opt is its own tile.
    picture("big.png", 256, 192, 3); // 768 tiles
    RunResult many = run({"-image", "big.png", "-target", "sms", "-q", "4"});
    EXPECT_NE(many.output.find("Warning: More than 512 unique tiles. No name table will be "
                               "written.\n"),
              std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("big.png.nam")));
    EXPECT_TRUE(fileExists(dir.file("big.png.pal")));
    EXPECT_TRUE(fileExists(dir.file("big.png.pat")));

    picture("mid.png", 256, 120, 3); // 480 tiles
    RunResult overlap = run({"-image", "mid.png", "-target", "sgg", "-v"});
    EXPECT_NE(overlap.output.find("Warning: More than 448 unique tiles found. Pattern table and "
                                  "name table will overlap.\nWriting name table data to "
                                  "mid.png.nam\n"),
              std::string::npos);
    EXPECT_EQ(readFileBytes(dir.file("mid.png.nam")).size(), 960u);
    EXPECT_EQ(run({"-image", "mid.png", "-target", "snes"}).output.find("448"), std::string::npos);

    RunResult bitmap = run({"-image", "big.png", "-target", "32x", "-o", "b.pat"});
    EXPECT_EQ(bitmap.output, "\nWriting pattern data to b.pat..\nDone.\n");
    EXPECT_FALSE(fileExists(dir.file("b.nam")));
    EXPECT_EQ(readFileBytes(dir.file("b.pat")).size(), 256u * 192u);
}

TEST_F(ImageJobTest, CodeFileOnlyWithPack) {
    picture("a.png", 16, 8, 2);
    RunResult raw = run({"-image", "a.png", "-target", "smd", "-code", "-o", "t.bin"});
    EXPECT_EQ(raw.output.find("Writing code"), std::string::npos);
    EXPECT_EQ(listDir(dir.path), (std::vector<std::string>{"a.png", "t.bin", "t.nam", "t.pal"}));
    // snes, tgx and 32x have no code file template: a warning, and no empty file.
    for (const char *target : {"snes", "tgx", "32x"}) {
        RunResult packed =
            run({"-image", "a.png", "-target", target, "-code", "-pack", "-o", "u.v2"});
        EXPECT_TRUE(packed.output.ends_with("Warning: No code file template for this target. No "
                                            "code file written.\nDone.\n"))
            << packed.output;
        EXPECT_EQ(packed.output.find("Writing code"), std::string::npos);
        EXPECT_TRUE(fileExists(dir.file("u.v2")));
        EXPECT_FALSE(fileExists(dir.file("u.asm")));
        EXPECT_FALSE(fileExists(dir.file("u.s")));
    }
}

TEST_F(ImageJobTest, FileThatCannotBeCreatedEndsTheJobAndKeepsEarlierFiles) {
    picture("a.png", 16, 8, 2);
    RunResult r = run({"-image", "a.png", "-target", "sms", "-preview", "no/dir/p.bmp"});
    EXPECT_TRUE(r.output.ends_with("Error: Failed to create file no/dir/p.bmp: No such file or "
                                   "directory\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(listDir(dir.path),
              (std::vector<std::string>{"a.png", "a.png.nam", "a.png.pal", "a.png.pat"}));
    RunResult d = run({"-image", "a.png", "-target", "sms", "-o", "."});
    EXPECT_EQ(d.status, 1);
    // "." gives an empty stem: .pal and .nam are written, the pattern data cannot be.
    EXPECT_TRUE(d.output.ends_with("Error: Failed to create file .: Is a directory\n"));
    EXPECT_TRUE(fileExists(dir.file(".pal")));
}

} // namespace
