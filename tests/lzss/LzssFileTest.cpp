// The file front ends: streaming in blocks, statuses, and the temporary output file.
#include "lzss/LzssTestSupport.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace {

class LzssFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lzss-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        settings = lzssMakeSettings(2, 4096);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const char *name) const { return (dir / name).string(); }
    size_t entries() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
    }

    void write(const char *name, const Bytes &data) const {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char *>(data.data()),
                   static_cast<std::streamsize>(data.size()));
    }
    Bytes read(const char *name) const {
        std::ifstream in(path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir;
    LzssSettings settings;
};

// Several input blocks and output windows long, half noise, half repeats.
Bytes longInput() {
    std::mt19937 rng(42);
    Bytes data(700000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i % 1000 < 600 ? (i / 3) % 17 : rng());
    return data;
}

TEST_F(LzssFile, RoundTripMatchesTheBufferCodec) {
    const Bytes data = longInput();
    write("in", data);
    const LzssFileResult encoded = lzssEncodeFile(settings, path("in"), path("in.lzs"));
    EXPECT_EQ(encoded.status, LzssFileStatus::Ok);
    const Bytes stream = read("in.lzs");
    EXPECT_EQ(stream, lzssTestEncode(data));
    EXPECT_EQ(encoded.stats.bytesRead, static_cast<int32_t>(data.size()));
    EXPECT_EQ(encoded.stats.bytesWritten, static_cast<int32_t>(stream.size()));
    EXPECT_EQ(lzssDecodeFile(settings, path("in.lzs"), path("out")).status, LzssFileStatus::Ok);
    EXPECT_EQ(read("out"), data);
    EXPECT_EQ(entries(), 3u); // no temporary file left behind
}

TEST_F(LzssFile, DecodingArbitraryBytesMatchesTheBufferDecoder) {
    // Items cut by the input blocks and output far beyond the decoder's window.
    std::mt19937 rng(8);
    Bytes stream(300001);
    for (uint8_t &byte : stream)
        byte = static_cast<uint8_t>(rng());
    write("noise", stream);
    settings = lzssMakeSettings(3, 1024);
    EXPECT_EQ(lzssDecodeFile(settings, path("noise"), path("out")).status, LzssFileStatus::Ok);
    EXPECT_EQ(read("out"), lzssDecodeBuffer(settings, stream.data(), stream.size()));
}

TEST_F(LzssFile, EmptyInputGivesEmptyOutput) {
    write("empty", {});
    const LzssFileResult encoded = lzssEncodeFile(settings, path("empty"), path("e.lzs"));
    EXPECT_EQ(encoded.status, LzssFileStatus::EmptyInput);
    EXPECT_EQ(encoded.stats.bytesRead, 0);
    EXPECT_EQ(encoded.stats.bytesWritten, 0);
    EXPECT_EQ(lzssDecodeFile(settings, path("e.lzs"), path("e.bin")).status, LzssFileStatus::Ok);
    EXPECT_EQ(fs::file_size(path("e.lzs")), 0u);
    EXPECT_EQ(fs::file_size(path("e.bin")), 0u);
}

TEST_F(LzssFile, FailuresAreReportedAndLeaveNoOutput) {
    write("in", {1, 2, 3});
    fs::create_directory(path("sub"));
    for (auto run : {lzssEncodeFile, lzssDecodeFile}) {
        const LzssFileResult missing = run(settings, path("missing"), path("out"));
        EXPECT_EQ(missing.status, LzssFileStatus::OpenFailed);
        EXPECT_EQ(missing.errorCode, ENOENT);
        const LzssFileResult noDir = run(settings, path("in"), path("no/such/out"));
        EXPECT_EQ(noDir.status, LzssFileStatus::CreateFailed);
        EXPECT_EQ(noDir.errorCode, ENOENT);
        const LzssFileResult unreadable = run(settings, path("sub"), path("out"));
        EXPECT_EQ(unreadable.status, LzssFileStatus::ReadFailed);
        EXPECT_NE(unreadable.errorCode, 0);
    }
    EXPECT_EQ(entries(), 2u);
}

TEST_F(LzssFile, OutputMayReplaceItsOwnInput) {
    const Bytes data = longInput();
    write("data", data);
    EXPECT_EQ(lzssEncodeFile(settings, path("data"), path("data")).status, LzssFileStatus::Ok);
    EXPECT_EQ(read("data"), lzssTestEncode(data));
    EXPECT_EQ(lzssDecodeFile(settings, path("data"), path("data")).status, LzssFileStatus::Ok);
    EXPECT_EQ(read("data"), data);
    EXPECT_EQ(entries(), 1u);
}

} // namespace
