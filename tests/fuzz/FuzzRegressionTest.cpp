// Runs the fuzz checks over every seed in fuzz/corpus and every input a fuzz
// target once failed on, kept in fuzz/regressions.
#include "fuzz/FuzzChecks.hpp"
#include "fuzz/FuzzSupport.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace fuzzing;

namespace {

using Check = std::function<std::string(const uint8_t *, size_t)>;

// The files of fuzz/<kind>/<target>, sorted; none when the folder is missing.
std::vector<std::string> inputFiles(const std::string &kind, const std::string &target) {
    const std::filesystem::path folder =
        std::filesystem::path(MORVIK_SOURCE_DIR) / "fuzz" / kind / target;
    std::vector<std::string> files;
    std::error_code ignored;
    for (const auto &entry : std::filesystem::directory_iterator(folder, ignored))
        if (entry.is_regular_file())
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// Returns how many files were checked.
size_t checkFiles(const std::string &kind, const std::string &target, const Check &check) {
    const std::vector<std::string> files = inputFiles(kind, target);
    for (const std::string &file : files) {
        const std::vector<uint8_t> bytes = readBytes(file);
        EXPECT_EQ(check(bytes.data(), bytes.size()), "") << file;
    }
    return files.size();
}

void checkTarget(const std::string &target, const Check &check) {
    EXPECT_GT(checkFiles("corpus", target, check), 0u) << "no seeds for " << target;
    checkFiles("regressions", target, check);
}

TEST(FuzzRegression, LzssDecode) {
    checkTarget("lzss_decode", checkLzssDecode);
}

TEST(FuzzRegression, LzssRoundTrip) {
    checkTarget("lzss_roundtrip", checkLzssRoundTrip);
}

TEST(FuzzRegression, ImageLoad) {
    checkTarget("image_load", checkImageLoad);
}

TEST(FuzzRegression, ImageFormats) {
    const std::pair<const char *, ImageFormat> formats[] = {
        {"image_bmp", ImageFormat::Bmp},   {"image_gif", ImageFormat::Gif},
        {"image_jpeg", ImageFormat::Jpeg}, {"image_png", ImageFormat::Png},
        {"image_pnm", ImageFormat::Pnm},   {"image_psd", ImageFormat::Psd},
        {"image_tga", ImageFormat::Tga}};
    for (const auto &[target, format] : formats) {
        SCOPED_TRACE(target);
        checkTarget(target, [format = format](const uint8_t *data, size_t size) {
            return checkImageFormat(format, data, size);
        });
    }
}

TEST(FuzzRegression, ImageJob) {
    checkTarget("image_job", checkImageJob);
}

TEST(FuzzRegression, CommandLine) {
    checkTarget("command_line", checkCommandLine);
}

TEST(FuzzRegression, EmptyInputsPass) {
    for (const Check &check :
         {Check(checkLzssDecode), Check(checkLzssRoundTrip), Check(checkImageLoad),
          Check(checkImageJob), Check(checkCommandLine)})
        EXPECT_EQ(check(nullptr, 0), "");
}

} // namespace
