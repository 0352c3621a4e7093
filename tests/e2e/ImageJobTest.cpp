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
                        "Identifying unique tiles.. Found 4 unique tiles (of 4).\nDone.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(run({"-image", "a.png"}).output, "\nDone.\n");
    EXPECT_EQ(listDir(dir.path), (std::vector<std::string>{"a.png"}));
}

TEST_F(ImageJobTest, FormatAndQuantiseWarnings) {
    picture("a.png", 8, 8, 2);
    EXPECT_EQ(run({"-image", "a.png", "-format", "p4"}).output,
              "\nWarning: Unsupported format (4) for this target. Using default.\nDone.\n");
    EXPECT_EQ(run({"-image", "a.png", "-target", "sms", "-q", "99"}).output,
              "\nWarning: Illegal quantise parameter (99). Using default (16).\n"
              "Using 1 bitplanes (8 bytes) for each tile.\nDone.\n");
    EXPECT_EQ(run({"-image", "a.png", "-target", "32x", "-format", "d15", "-q", "5"}).output,
              "\nWarning: Illegal quantise parameter (5). Using default (0).\nDone.\n");
    EXPECT_EQ(run({"-image", "a.png", "-target", "smd", "-format", "p4", "-planes", "2"}).output,
              "\nWarning: Unsupported format (4) for this target. Using default.\n"
              "Warning: -planes ignored for linear/direct formats.\nDone.\n");
    EXPECT_EQ(run({"-image", "a.png", "-target", "sms", "-planes", "5"}).output,
              "\nWarning: Bad value for -planes. Using default (4).\n"
              "Using 4 bitplanes (32 bytes) for each tile.\nDone.\n");
    EXPECT_EQ(run({"-image", "a.png", "-target", "snes", "-format", "p2", "-base", "3"}).output,
              "\nWarning: base + # colors > 4. Using base=0.\n"
              "Using 1 bitplanes (8 bytes) for each tile.\nDone.\n");
}

TEST_F(ImageJobTest, PaddingResizingAndQuantising) {
    picture("odd.png", 13, 5, 3);
    EXPECT_EQ(run({"-image", "odd.png", "-target", "sms"}).output,
              "\nWarning: Width is not a multiple of 8. Padding to 16 pixels.\n"
              "Warning: Height is not a multiple of 8. Padding to 8 pixels.\n"
              "Using 2 bitplanes (16 bytes) for each tile.\nDone.\n");
    RunResult outside = run({"-image", "odd.png", "-target", "sms", "-bg", "13,0"});
    EXPECT_EQ(outside.output, "\nWarning: Width is not a multiple of 8. Padding to 16 pixels.\n"
                              "Warning: Height is not a multiple of 8. Padding to 8 pixels.\n"
                              "Error: Background position 13,0 is outside the image.\n");
    EXPECT_EQ(outside.status, 1);

    picture("wide.png", 100, 50, 2);
    EXPECT_EQ(run({"-image", "wide.png", "-width", "64", "-v"}).output,
              "\nLoading image file: wide.png\nResizing image to 64*50 pixels.\nCounting colors..\n"
              "Warning: Height is not a multiple of 8. Padding to 56 pixels.\n"
              "Identifying unique tiles.. Found 56 unique tiles (of 56).\nDone.\n");
    // Asking for the size the image has already is no resize.
    EXPECT_EQ(run({"-image", "wide.png", "-width", "100", "-v"}).output,
              "\nLoading image file: wide.png\nCounting colors..\n"
              "Warning: Width is not a multiple of 8. Padding to 104 pixels.\n"
              "Warning: Height is not a multiple of 8. Padding to 56 pixels.\n"
              "Identifying unique tiles.. Found 91 unique tiles (of 91).\nDone.\n");

    picture("many.png", 32, 8, 20);
    EXPECT_EQ(run({"-image", "many.png", "-target", "sms", "-v"}).output,
              "\nLoading image file: many.png\nCounting colors..\n"
              "More than 16 colors found. Quantising image..\n"
              "NeuQuant: Running quantiser learning loop.\nNeuQuant: Mapping colors.\n"
              "Identifying unique tiles.. Found 4 unique tiles (of 4).\n"
              "Using 4 bitplanes (32 bytes) for each tile.\nDone.\n");
    // The quantiser's two lines are printed without -v too.
    EXPECT_EQ(run({"-image", "many.png", "-target", "smd", "-q", "4", "-dither"}).output,
              "\nNeuQuant: Running quantiser learning loop.\nNeuQuant: Mapping colors.\nDone.\n");
}

TEST_F(ImageJobTest, TransparencyChecksTheBackgroundPosition) {
    picture("a.png", 16, 8, 4);
    EXPECT_EQ(run({"-image", "a.png", "-target", "sms", "-t", "-bg", "15,7"}).status, 0);
    RunResult r = run({"-image", "a.png", "-target", "sms", "-t", "-bg", "3,8"});
    EXPECT_EQ(r.output, "\nUsing 2 bitplanes (16 bytes) for each tile.\n"
                        "Error: Background position 3,8 is outside the image.\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(run({"-image", "a.png", "-target", "sms", "-t", "-bg", "-1,0"}).status, 1);
}

TEST_F(ImageJobTest, AlphaWarningOnlyInVerboseMode) {
    testimages::PngPicture rgba = testimages::makePngPicture(8, 8, PNG_COLOR_TYPE_RGBA);
    rgba.rows.assign(8, std::vector<uint8_t>(32, 200));
    ASSERT_TRUE(testimages::writePng(dir.file("alpha.png"), rgba));
    EXPECT_EQ(run({"-image", "alpha.png", "-target", "sgg"}).output,
              "\nUsing 0 bitplanes (0 bytes) for each tile.\nDone.\n");
    EXPECT_EQ(run({"-image", "alpha.png", "-v"}).output,
              "\nLoading image file: alpha.png\nWarning: Alpha channel is ignored for 32-bit "
              "images.\nCounting colors..\nIdentifying unique tiles.. Found 1 unique tiles (of "
              "1).\nDone.\n");
}

TEST_F(ImageJobTest, BrokenInputsEndWithStatusOne) {
    writeFileBytes(dir.file("text.png"), {'h', 'e', 'l', 'l', 'o'});
    for (const char *name : {"text.png", "missing.png", "."}) {
        RunResult r = run({"-image", name, "-target", "sms"});
        EXPECT_EQ(r.output, std::string("\nError: Failed to load image file: ") + name + "\n");
        EXPECT_EQ(r.status, 1);
    }
}

} // namespace
