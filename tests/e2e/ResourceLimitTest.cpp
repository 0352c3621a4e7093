// The memory a run needs, measured as the child's peak resident set size: the
// plain-file job streams, and the image job holds at most three copies of the
// decoded picture besides its outputs.
#include "e2e/RunMorvik.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <png.h>
#include <unistd.h>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true; // shadow memory and quarantine inflate the figures
#else
constexpr bool kSanitized = false;
#endif

constexpr long kKiB = 1024;

struct PngFile {
    std::FILE *stream = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    explicit PngFile(const std::string &path) : stream(std::fopen(path.c_str(), "wb")) {
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        if (png != nullptr)
            info = png_create_info_struct(png);
    }
    PngFile(const PngFile &) = delete;
    PngFile &operator=(const PngFile &) = delete;
    ~PngFile() {
        png_destroy_write_struct(&png, &info);
        if (stream != nullptr)
            std::fclose(stream);
    }
};

// Index of pixel (x, y): every 8 x 8 tile differs from every other one (its
// first rows spell out its position) and all 256 colours occur.
uint8_t uniqueTilePixel(uint32_t x, uint32_t y) {
    const uint32_t column = x / 8;
    const uint32_t row = y / 8;
    switch (y % 8) {
    case 0:
        return static_cast<uint8_t>(column);
    case 1:
        return static_cast<uint8_t>(column >> 8);
    case 2:
        return static_cast<uint8_t>(row);
    case 3:
        return static_cast<uint8_t>(row >> 8);
    default:
        return static_cast<uint8_t>(x * y + y % 8);
    }
}

bool writeRows(PngFile &file, uint32_t side) {
    if (setjmp(png_jmpbuf(file.png)))
        return false;
    png_init_io(file.png, file.stream);
    png_set_compression_level(file.png, 1);
    png_set_IHDR(file.png, file.info, side, side, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette(256);
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = {static_cast<png_byte>(i), static_cast<png_byte>(255 - i),
                      static_cast<png_byte>(i * 7)};
    png_set_PLTE(file.png, file.info, palette.data(), static_cast<int>(palette.size()));
    png_write_info(file.png, file.info);
    std::vector<png_byte> row(side);
    for (uint32_t y = 0; y < side; ++y) {
        for (uint32_t x = 0; x < side; ++x)
            row[x] = uniqueTilePixel(x, y);
        png_write_row(file.png, row.data());
    }
    png_write_end(file.png, file.info);
    return true;
}

// A square 256-colour palette PNG of unique tiles, written row by row.
bool writeUniqueTilePicture(const std::string &path, uint32_t side) {
    PngFile file(path);
    return file.stream != nullptr && file.info != nullptr && writeRows(file, side) &&
           std::fflush(file.stream) == 0;
}

bool allZero(const std::vector<unsigned char> &bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](unsigned char b) { return b == 0; });
}

TEST(ResourceLimits, PlainFileJobStreamsInConstantMemory) {
    TempDir dir;
    const off_t size = off_t{kSanitized ? 8 : 64} << 20; // the sanitized codec is slow
    {
        std::FILE *file = std::fopen(dir.file("zeros.bin").c_str(), "wb");
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(ftruncate(fileno(file), size), 0);
        std::fclose(file);
    }
    RunResult pack = runMorvik({"-pack", "zeros.bin", "-o", "zeros.lzs"}, dir.path);
    ASSERT_EQ(pack.status, 0) << pack.output;
    RunResult unpack = runMorvik({"-unpack", "zeros.lzs", "-o", "zeros.out"}, dir.path);
    ASSERT_EQ(unpack.status, 0) << unpack.output;
    std::vector<unsigned char> unpacked = readFileBytes(dir.file("zeros.out"));
    EXPECT_EQ(unpacked.size(), static_cast<size_t>(size));
    EXPECT_TRUE(allZero(unpacked));
    if (kSanitized)
        GTEST_SKIP() << "peak memory is not measured under the sanitizers";
    EXPECT_LT(pack.maxRssKb, 32 * kKiB);
    EXPECT_LT(unpack.maxRssKb, 32 * kKiB);
}

TEST(ResourceLimits, ImageJobHoldsAtMostThreeCopiesOfThePicture) {
    if (kSanitized)
        GTEST_SKIP() << "peak memory is not measured under the sanitizers";
    TempDir dir;
    constexpr uint32_t kSide = 8192;
    constexpr long kDecodedKb = long{kSide} * kSide / kKiB; // one byte a pixel
    ASSERT_TRUE(writeUniqueTilePicture(dir.file("big.png"), kSide));
    RunResult r =
        runMorvik({"-image", "big.png", "-target", "snes", "-format", "p8", "-opt"}, dir.path);
    ASSERT_EQ(r.status, 0) << r.output;
    // Every tile is unique: the patterns are as large as the picture.
    std::FILE *patterns = std::fopen(dir.file("big.png.pat").c_str(), "rb");
    ASSERT_NE(patterns, nullptr);
    std::fseek(patterns, 0, SEEK_END);
    EXPECT_EQ(std::ftell(patterns), long{kSide} * kSide);
    std::fclose(patterns);
    EXPECT_LT(r.maxRssKb, 3 * kDecodedKb);
}

// Too little memory ends the job at its one error boundary: the message once,
// status 1, every line printed before it kept, and no file but those finished.
TEST(ResourceLimits, AllocationFailureEndsTheJobCleanly) {
    if (kSanitized)
        GTEST_SKIP() << "the sanitizers' shadow memory needs more address space than the limits";
    TempDir dir;
    ASSERT_TRUE(writeUniqueTilePicture(dir.file("big.png"), 4096));
    const std::vector<std::string> arguments = {"-image", "big.png", "-target", "32x",
                                                "-pack",  "-o",      "big.lzs"};
    RunResult full = runMorvik(arguments, dir.path);
    ASSERT_EQ(full.status, 0) << full.output;
    const auto palette = readFileBytes(dir.file("big.pal"));
    const auto packed = readFileBytes(dir.file("big.lzs"));
    int failures = 0;
    for (uint64_t megabytes : {24, 40, 52, 64, 80}) {
        SCOPED_TRACE(megabytes);
        std::remove(dir.file("big.pal").c_str());
        std::remove(dir.file("big.lzs").c_str());
        RunOptions options;
        options.addressSpaceLimit = megabytes << 20;
        RunResult r = runMorvik(arguments, dir.path, options);
        EXPECT_EQ(r.signal, 0);
        if (r.status == 0) {
            EXPECT_EQ(r.output, full.output);
            continue;
        }
        ++failures;
        const std::string message = "Error: Failed to allocate memory.\n";
        EXPECT_EQ(r.status, 1);
        ASSERT_GE(r.output.size(), message.size()) << r.output;
        const std::string before = r.output.substr(0, r.output.size() - message.size());
        EXPECT_EQ(r.output.substr(before.size()), message);
        EXPECT_EQ(full.output.compare(0, before.size(), before), 0) << r.output;
        if (fileExists(dir.file("big.pal"))) {
            EXPECT_EQ(readFileBytes(dir.file("big.pal")), palette);
        }
        if (fileExists(dir.file("big.lzs"))) {
            EXPECT_EQ(readFileBytes(dir.file("big.lzs")), packed);
        }
        for (const std::string &name : listDir(dir.path))
            EXPECT_EQ(name.find(".morvik-"), std::string::npos) << name;
    }
    EXPECT_GT(failures, 0);
}

} // namespace
