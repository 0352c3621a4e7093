#include "lzss/PatternOutput.hpp"
#include "common/JobError.hpp"
#include "common/OutputFile.hpp"
#include "imagemodule/TestImages.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace {

std::string captured(const std::function<void()> &step) {
    testing::internal::CaptureStdout();
    step();
    return testing::internal::GetCapturedStdout();
}

TEST(CodecSearch, NineTrialsSmallestFirstWins) {
    std::vector<uint8_t> data(3000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>((i * 7) % 61 < 30 ? i % 13 : 0);
    CodecTrial chosen;
    std::string out =
        captured([&] { chosen = searchCodecSettings(data.data(), data.size(), true); });
    EXPECT_EQ(out.substr(0, 31), "Trying codec settings.........\n");
    // Every other trial is at least as big, and earlier trials strictly bigger.
    bool passedChosen = false;
    for (int32_t dict : kAutoDictSizes)
        for (int32_t threshold : kAutoThresholds) {
            const LzssSettings settings = lzssMakeSettings(threshold, dict);
            int32_t size =
                static_cast<int32_t>(lzssEncodeBuffer(settings, data.data(), data.size()).size());
            if (dict == chosen.dictSize && threshold == chosen.threshold) {
                passedChosen = true;
                EXPECT_EQ(size, chosen.compressedSize);
            } else if (passedChosen) {
                EXPECT_GE(size, chosen.compressedSize);
            } else {
                EXPECT_GT(size, chosen.compressedSize);
            }
        }
    EXPECT_NE(out.find("Using LZSS settings -dict " + std::to_string(chosen.dictSize) +
                       " -threshold " + std::to_string(chosen.threshold) + ".\n"),
              std::string::npos);
    // Equal sizes everywhere (one literal): the first trial is kept, silently.
    uint8_t one = 5;
    CodecTrial tie;
    // The winner is named also without -v: the stream unpacks only with its settings.
    EXPECT_EQ(captured([&] { tie = searchCodecSettings(&one, 1, false); }),
              "Using LZSS settings -dict 1024 -threshold 2.\n");
    EXPECT_EQ(tie.dictSize, 1024);
    EXPECT_EQ(tie.threshold, 2);
}

TEST(PatternFiles, StatisticsAndBytes) {
    testimages::TempDir dir;
    std::vector<uint8_t> data(128, 0x11);
    PatternOutput output{dir.file("p.pat"), data.data(), data.size(), 256, false};
    EXPECT_EQ(captured([&] { writeRawPatterns(output, true); }),
              "Unoptmized size: 256 bytes.\nOptimized size: 128 bytes (50%).\n");
    EXPECT_EQ(testimages::readFile(dir.file("p.pat")), data);

    output.fileName = dir.file("p.lzs");
    CodecSettings used;
    std::string out = captured([&] { used = writeCompressedPatterns(output, false, {1024, 4}); });
    EXPECT_EQ(used.dictSize, 1024);
    EXPECT_EQ(used.threshold, 4);
    std::vector<uint8_t> stream = testimages::readFile(dir.file("p.lzs"));
    EXPECT_EQ(lzssDecodeBuffer(lzssMakeSettings(4, 1024), stream.data(), stream.size()), data);
    EXPECT_EQ(out, "Unoptimized size: 256 bytes.\nOptimized size: 128 bytes (50%).\n"
                   "Compressed size: " +
                       std::to_string(stream.size()) + " bytes (" +
                       std::to_string(static_cast<int>(stream.size() * 100.0 / 256 + 0.5)) +
                       "%).\n");

    PatternOutput empty{dir.file("e.pat"), nullptr, 0, 0, false};
    EXPECT_EQ(captured([&] { writeRawPatterns(empty, true); }),
              "Unoptmized size: 0 bytes.\nOptimized size: 0 bytes (0%).\n");
    output.fileName = dir.file("missing/p.lzs");
    std::string message;
    captured([&] {
        try {
            writeCompressedPatterns(output, true, {1024, 4});
        } catch (const JobError &error) {
            message = error.message;
        }
    });
    EXPECT_EQ(message, createFileError(output.fileName, ENOENT));
}

} // namespace
