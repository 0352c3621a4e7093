// The plain-file job through the built binary.
#include "e2e/RunMorvik.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include <random>

namespace {

std::vector<unsigned char> sampleData(size_t length) {
    std::mt19937 random(7);
    std::vector<unsigned char> bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>(i % 37 < 20 ? i % 5 : random() % 4);
    return bytes;
}

TEST(PlainFileJob, PackPrintsStatisticsAndExactBytes) {
    TempDir dir;
    writeFileBytes(dir.file("abc"), {'a', 'b', 'c'});
    RunResult r = runMorvik({"-pack", "abc"}, dir.path);
    EXPECT_EQ(r.output, "\nInput size: 3 bytes.\nCompressed size: 4 bytes (133%).\nDone.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFileBytes(dir.file("abc.lzs")),
              (std::vector<unsigned char>{0x07, 0x61, 0x62, 0x63}));
    EXPECT_EQ(listDir(dir.path), (std::vector<std::string>{"abc", "abc.lzs"}));
}

TEST(PlainFileJob, EmptyInputGivesEmptyStreamAndZeroPercent) {
    TempDir dir;
    writeFileBytes(dir.file("e.dat"), {});
    RunResult r = runMorvik({"-pack", "e.dat"}, dir.path);
    EXPECT_EQ(r.output, "\nInput size: 0 bytes.\nCompressed size: 0 bytes (0%).\nDone.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(fileExists(dir.file("e.dat.lzs")));
    EXPECT_TRUE(readFileBytes(dir.file("e.dat.lzs")).empty());
}

TEST(PlainFileJob, RoundTripWithNonDefaultSettings) {
    TempDir dir;
    std::vector<unsigned char> data = sampleData(20000);
    writeFileBytes(dir.file("f.dat"), data);
    RunResult pack =
        runMorvik({"-dict", "1024", "-threshold", "3", "-pack", "-v", "f.dat"}, dir.path);
    EXPECT_EQ(
        pack.output.rfind("\nEncoding file f.dat into f.dat.lzs\nInput size: 20000 bytes.\n", 0),
        0u);
    RunResult unpack =
        runMorvik({"-dict", "1024", "-threshold", "3", "-unpack", "-v", "f.dat.lzs", "-o", "g.dat"},
                  dir.path);
    EXPECT_EQ(unpack.output, "\nDecoding file f.dat.lzs into g.dat\nDone.\n");
    EXPECT_EQ(readFileBytes(dir.file("g.dat")), data);
    // Other settings decode to other bytes, without a message.
    runMorvik({"-unpack", "f.dat.lzs", "-o", "h.dat"}, dir.path);
    EXPECT_NE(readFileBytes(dir.file("h.dat")), data);
}

TEST(PlainFileJob, DerivedNames) {
    TempDir dir;
    writeFileBytes(dir.file("data.bin"), sampleData(100));
    runMorvik({"-pack", "data.bin"}, dir.path);
    ASSERT_TRUE(fileExists(dir.file("data.bin.lzs")));
    runMorvik({"-unpack", "data.bin.lzs"}, dir.path);
    EXPECT_EQ(readFileBytes(dir.file("data.bin.bin")), sampleData(100));
    runMorvik({"-pack", "-o", "out.z", "data.bin"}, dir.path);
    EXPECT_TRUE(fileExists(dir.file("out.z")));
    // -dict 1500 means 1024: unpacking with 1024 restores the data.
    runMorvik({"-pack", "-dict", "1500", "data.bin", "-o", "d.lzs"}, dir.path);
    runMorvik({"-unpack", "-dict", "1024", "d.lzs", "-o", "d.out"}, dir.path);
    EXPECT_EQ(readFileBytes(dir.file("d.out")), sampleData(100));
}

TEST(PlainFileJob, OutputNamingTheInputIsRefused) {
    TempDir dir;
    std::vector<unsigned char> data = sampleData(5000);
    writeFileBytes(dir.file("f"), data);
    std::filesystem::create_symlink("f", dir.file("link"));
    for (const char *mode : {"-pack", "-unpack"})
        for (const char *output : {"f", "./f", "link"}) {
            RunResult r = runMorvik({mode, "-o", output, "f"}, dir.path);
            EXPECT_EQ(r.output, std::string("\nError: Output files collide: ") + output + "\n");
            EXPECT_EQ(r.status, 1);
        }
    EXPECT_EQ(readFileBytes(dir.file("f")), data);
    EXPECT_EQ(listDir(dir.path), (std::vector<std::string>{"f", "link"}));
}

TEST(PlainFileJob, FileErrorsNameTheFileAndReason) {
    TempDir dir;
    RunResult missing = runMorvik({"-pack", "-v", "nothere"}, dir.path);
    EXPECT_EQ(missing.output, "\nEncoding file nothere into nothere.lzs\n"
                              "Error: Failed to open file nothere: No such file or directory\n");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(runMorvik({"-unpack", "nothere"}, dir.path).output,
              "\nError: Failed to open file nothere: No such file or directory\n");

    writeFileBytes(dir.file("f"), {1, 2, 3});
    RunResult unwritable = runMorvik({"-pack", "f", "-o", "no/such/dir.lzs"}, dir.path);
    EXPECT_EQ(unwritable.output,
              "\nError: Failed to create file no/such/dir.lzs: No such file or directory\n");
    EXPECT_EQ(unwritable.status, 1);
    RunResult isDir = runMorvik({"-unpack", "f", "-o", "."}, dir.path);
    EXPECT_EQ(isDir.output, "\nError: Failed to create file .: Is a directory\n");
    EXPECT_EQ(listDir(dir.path), (std::vector<std::string>{"f"}));
}

} // namespace
