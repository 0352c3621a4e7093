// The built binary's start, messages and exit statuses.
#include "e2e/RunMorvik.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::string kUsage = "Usage: morvik [options] <input>\n";

TEST(CliStart, UsageAndHelp) {
    TempDir dir;
    RunResult none = runMorvik({}, dir.path);
    EXPECT_EQ(none.output, kUsage);
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(runMorvik({"file.png"}, dir.path).output, kUsage);
    for (const char *help : {"-h", "-help", "-?"}) {
        RunResult r = runMorvik({help}, dir.path);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output.rfind("morvik r3\n(c) 2026 the morvik authors\n\nOptions:\n\n"
                                 "-autocomp\tAutomatically choose the best settings for the LZSS "
                                 "encoder.\n-base n\t\tSpecify the base color.",
                                 0),
                  0u)
            << help;
        EXPECT_TRUE(r.output.ends_with("-v\t\tVerbose mode.\n-width n\tSpecify a new width for "
                                       "the image.\n-target name\tThe console: sms, sgg, snes, "
                                       "tgx, smd or 32x. Without it the\n\t\timage is "
                                       "converted but no file is written.\n"
                                       "-format name\tThe pixel format: p1, p2, p4, p8 (planar), "
                                       "l4, l8 (linear) or\n\t\td15 (direct color). Each target "
                                       "takes some of them.\n"
                                       "-code\t\tWith -pack, also write the assembly file that "
                                       "calls the decoder\n\t\t(sms, sgg and smd).\n"
                                       "-dict n\t\tSet the dictionary size of the LZSS codec: "
                                       "512, 1024, 2048 or\n\t\t4096 (the default).\n"
                                       "-chain\t\tNot supported; ignored with a warning.\n"
                                       "-palettes n\tSpread the colors over at most n "
                                       "sub-palettes (sms, sgg 2; snes 8;\n\t\tsmd 4; tgx 16), "
                                       "one per tile, chosen in the name table.\n"
                                       "-rom fname\tAlso write a ROM for the target (sms, sgg, "
                                       "smd, snes, tgx) that\n\t\tshows the converted "
                                       "picture.\n-j n\t\tUse at most n threads (the default "
                                       "is one per processor core);\n\t\tthe output is the "
                                       "same for every n.\n"))
            << r.output;
    }
    // Help met during parsing prints the help text and nothing else.
    RunResult late = runMorvik({"-v", "-h", "x"}, dir.path);
    EXPECT_EQ(late.output, runMorvik({"-?"}, dir.path).output);
    EXPECT_EQ(late.status, 0);
}

TEST(CliStart, OptionMessagesEndTheRunWithStatusOne) {
    TempDir dir;
    struct Case {
        std::vector<std::string> arguments;
        std::string output;
    };
    const Case cases[] = {
        {{"x", "-o"}, "Error: Missing value for -o\n"},
        {{"x", "-preview"}, "Error: Missing value for -preview\n"},
        {{"x", "-format"}, "Error: Missing value for -format.\n"},
        {{"x", "-target"}, "Error: Missing value for -target.\n"},
        {{"-target", "SMS", "x"},
         "Error: Bad value for -target.\nError: The targets are sms, sgg, snes, tgx, smd and "
         "32x.\n"},
        {{"x", "-bg"}, "Missing value for -bg.\n"},
        {{"-bg", "5", "x"}, "Bad value for -bg.\n"},
        {{"x", "-planes"}, "Missing value for -planes.\n"},
        {{"x", "-threshold"}, "Missing value for -threshold.\n"},
        {{"x", "-base"}, "Missing value for -base.\n"},
        {{"x", "-q"}, "Missing value for -q.\n"},
        {{"x", "-width"}, "Missing value for -width.\n"},
        {{"x", "-sizefilter"}, "Missing value for -sizefilter.\n"},
        {{"x", "-height"}, "Missing value for -height.\n"},
        {{"x", "-dict"}, "Missing value for -dict.\n"},
        {{"-opt2", "x"}, "Error: Unknown option: -opt2\n"},
        {{"x", "y", "-T"}, "Warning: Ignoring argument: y\nError: Unknown option: -T\n"},
        {{"-dict", "4700", "-"},
         "Warning: Bad value for dict. Using default (4096).\n"
         "Error: Unknown option: -\n"},
    };
    for (const Case &c : cases) {
        RunResult r = runMorvik(c.arguments, dir.path);
        EXPECT_EQ(r.output, c.output) << c.arguments[0] << " " << c.arguments[1];
        EXPECT_EQ(r.status, 1) << c.output;
    }
    EXPECT_TRUE(listDir(dir.path).empty());
}

TEST(CliStart, DispatchMessages) {
    TempDir dir;
    RunResult bad = runMorvik({"-image", "-unpack", "a.png"}, dir.path);
    EXPECT_EQ(bad.output,
              "\nBad combination of file type and compression mode. Nothing will be done.\n");
    EXPECT_EQ(bad.status, 1);

    RunResult nothing = runMorvik({"f.dat", "-v"}, dir.path);
    EXPECT_EQ(nothing.output, "\nDone.\n");
    EXPECT_EQ(nothing.status, 0);

    RunResult threshold = runMorvik({"-threshold", "-1", "f.dat"}, dir.path);
    EXPECT_EQ(threshold.output, "\nWarning: Bad value for threshold. Using default (2).\nDone.\n");
    EXPECT_EQ(threshold.status, 0);
    // 512 allows thresholds up to 128, 4096 only up to 2032.
    EXPECT_EQ(runMorvik({"-dict", "512", "-threshold", "128", "f"}, dir.path).output, "\nDone.\n");
    EXPECT_EQ(runMorvik({"-dict", "512", "-threshold", "129", "f"}, dir.path).output,
              "\nWarning: Bad value for threshold. Using default (2).\nDone.\n");

    RunResult noInput = runMorvik({"-pack", "-v"}, dir.path);
    EXPECT_EQ(noInput.output, "\nError: No input file.\n");
    EXPECT_EQ(noInput.status, 1);
    EXPECT_EQ(runMorvik({"-image", "-v"}, dir.path).output, "\nError: No input file.\n");
}

TEST(CliStart, MissingImageModuleIsReportedAndOnlyImageJobsNeedIt) {
    TempDir dir;
    std::filesystem::copy_file(MORVIK_BINARY, dir.file("morvik"));
    std::filesystem::permissions(dir.file("morvik"), std::filesystem::perms::owner_all);
    writeFileBytes(dir.file("a.bin"), {1, 2, 3});
    RunResult pack = runProgram(dir.file("morvik"), {"-pack", "a.bin"}, dir.path);
    EXPECT_EQ(pack.output, "error loading libmorvik-image.so\n\nInput size: 3 bytes.\n"
                           "Compressed size: 4 bytes (133%).\nDone.\n");
    EXPECT_EQ(pack.status, 0);
    RunResult image = runProgram(dir.file("morvik"), {"-image", "a.png"}, dir.path);
    EXPECT_EQ(image.output,
              "error loading libmorvik-image.so\n\nError: Image module not loaded.\n");
    EXPECT_EQ(image.status, 1);
    RunResult usage = runProgram(dir.file("morvik"), {}, dir.path);
    EXPECT_EQ(usage.output, "error loading libmorvik-image.so\n" + kUsage);
}

} // namespace
