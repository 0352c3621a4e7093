#include "cli/CommandLine.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Parsed {
    ParseOutcome outcome;
    JobSettings settings;
};

Parsed parse(std::vector<const char *> arguments) {
    arguments.insert(arguments.begin(), "morvik");
    Parsed parsed{ParseOutcome::Run, {}};
    testing::internal::CaptureStdout();
    parsed.outcome =
        parseCommandLine(static_cast<int>(arguments.size()), arguments.data(), parsed.settings);
    testing::internal::GetCapturedStdout();
    return parsed;
}

TEST(CommandLineNumbers, ReadLikeBuildScriptsWriteThem) {
    EXPECT_EQ(parseNumber("42"), 42);
    EXPECT_EQ(parseNumber("  \t-17x"), -17);
    EXPECT_EQ(parseNumber("+8"), 8);
    EXPECT_EQ(parseNumber("abc"), 0);
    EXPECT_EQ(parseNumber(""), 0);
    EXPECT_EQ(parseNumber("- 5"), 0);
    EXPECT_EQ(parseNumber("12 34"), 12);
    EXPECT_EQ(parseNumber("99999999999999999999"), 2147483647);
    EXPECT_EQ(parseNumber("-99999999999999999999"), -2147483647 - 1);
}

TEST(CommandLineNames, InputBaseDropsOnlyASecondExtension) {
    EXPECT_EQ(deriveInputBaseName("pic.png"), "pic.png");
    EXPECT_EQ(deriveInputBaseName("pic"), "pic");
    EXPECT_EQ(deriveInputBaseName("pic.big.png"), "pic.big");
    EXPECT_EQ(deriveInputBaseName("data.bin.lzs"), "data.bin");
    EXPECT_EQ(deriveInputBaseName("dir.v2/pic.png"), "dir.v2/pic.png");
    EXPECT_EQ(deriveInputBaseName("./pic.big.png"), "./pic.big");
    EXPECT_EQ(deriveInputBaseName("a.b/c"), "a.b/c");
}

TEST(CommandLineNames, OutputBaseStopsAtFirstDotOfFileName) {
    EXPECT_EQ(deriveOutputBaseName("out.v1.bin"), "out");
    EXPECT_EQ(deriveOutputBaseName("out"), "out");
    EXPECT_EQ(deriveOutputBaseName(".hidden"), "");
    EXPECT_EQ(deriveOutputBaseName("./out.v1.bin"), "./out");
    EXPECT_EQ(deriveOutputBaseName("build.dir/title.v2.lzs"), "build.dir/title");
}

TEST(CommandLineNames, OutputBaseFollowsTheOrderOfInputAndDashO) {
    EXPECT_EQ(parse({"a.png", "-o", "out"}).settings.outputBaseName, "out");
    EXPECT_EQ(parse({"-o", "out", "a.png"}).settings.outputBaseName, "out");
    EXPECT_EQ(parse({"b.c.png", "-v"}).settings.outputBaseName, "b.c");
    // A -o whose base is empty is filled by a later input.
    EXPECT_EQ(parse({"-o", ".x", "b.c.png"}).settings.outputBaseName, "b.c");
}

TEST(CommandLineDict, KeepsPowersOfTwoFrom512To4096) {
    EXPECT_EQ(dictSizeFromOption(512), 512);
    EXPECT_EQ(dictSizeFromOption(1500), 1024);
    EXPECT_EQ(dictSizeFromOption(4100), 4096);
    EXPECT_EQ(dictSizeFromOption(4600), 4096);
    EXPECT_EQ(dictSizeFromOption(1600), 0);
    EXPECT_EQ(dictSizeFromOption(511), 0);
    EXPECT_EQ(dictSizeFromOption(4700), 0);
    EXPECT_EQ(dictSizeFromOption(-512), 0);
    EXPECT_EQ(parse({"-dict", "1600", "f"}).settings.dictSize, 4096);
    EXPECT_EQ(parse({"-dict", "1535", "f"}).settings.dictSize, 1024);
}

TEST(CommandLineOptions, FillTheSettings) {
    Parsed p = parse({"-pack",   "-unpack", "-v",          "-opt",  "-dither",    "-t",
                      "-image",  "-bat",    "-chain",      "-code", "-lzss",      "-autocomp",
                      "-bg",     ",7",      "-planes",     "2",     "-threshold", "3",
                      "-base",   "4",       "-q",          "9",     "-width",     "64",
                      "-height", "32",      "-sizefilter", "-3",    "-format",    "p8",
                      "-target", "snes",    "-preview",    "p.bmp", "in.png"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run);
    const JobSettings &s = p.settings;
    EXPECT_EQ(s.compressionMode, CompressionMode::Unpack);
    EXPECT_TRUE(s.verbose && s.optimiseTiles && s.dither && s.transparency && s.imageInput &&
                s.chainTiles && s.writeCode && s.autoCompress);
    EXPECT_EQ(s.bgX, 0);
    EXPECT_EQ(s.bgY, 7);
    EXPECT_EQ(s.minPlanes, 2);
    EXPECT_EQ(s.threshold, 3);
    EXPECT_EQ(s.baseColour, 4);
    EXPECT_EQ(s.quantiseColours, 9);
    EXPECT_EQ(s.newWidth, 64);
    EXPECT_EQ(s.newHeight, 32);
    EXPECT_EQ(s.resizeFilter, ResizeFilter::Smooth); // -3 is odd
    EXPECT_EQ(s.format, Format::P8);
    EXPECT_EQ(s.target, Target::Snes);
    EXPECT_EQ(s.previewName, "p.bmp");
    EXPECT_EQ(s.inputName, "in.png");
}

TEST(CommandLineOptions, ValuesAreTakenWhateverTheyLookLike) {
    Parsed p = parse({"-o", "-v", "x"});
    EXPECT_EQ(p.settings.outputName, "-v");
    EXPECT_FALSE(p.settings.verbose);
    EXPECT_EQ(parse({"-format", "p3", "x"}).settings.format, Format::None);
    EXPECT_EQ(parse({"-sizefilter", "2", "x"}).settings.resizeFilter, ResizeFilter::Nearest);
    EXPECT_EQ(parse({"-bg", "3,4,5", "x"}).settings.bgY, 4);
    EXPECT_FALSE(parse({"x", "-v"}).settings.quantiseColours);
}

TEST(CommandLineOptions, FailuresEndTheParse) {
    EXPECT_EQ(parse({"-target", "SMS", "x"}).outcome, ParseOutcome::Failed);
    EXPECT_EQ(parse({"-bg", "5", "x"}).outcome, ParseOutcome::Failed);
    EXPECT_EQ(parse({"x", "-width"}).outcome, ParseOutcome::Failed);
    EXPECT_EQ(parse({"-opt2", "x"}).outcome, ParseOutcome::Failed);
    EXPECT_EQ(parse({"-T", "x"}).outcome, ParseOutcome::Failed);
    EXPECT_EQ(parse({"-v", "-h", "x"}).outcome, ParseOutcome::Help);
}

} // namespace
