// Damaged, lying and extreme image files given to the image job. Each one is
// either converted correctly or refused with the load error and status 1; the
// program never ends by a signal.
#include "e2e/RunMorvik.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

namespace {

using Bytes = std::vector<uint8_t>;
using testimages::Rgb;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true; // the shadow memory needs far more address space
#else
constexpr bool kSanitized = false;
#endif

constexpr uint64_t kAddressSpaceLimit = uint64_t{512} << 20;
constexpr long kMaxRssKb = 100 * 1024;

const std::vector<Rgb> kTwoColours{{255, 0, 0}, {0, 255, 0}};
const std::vector<Rgb> kFourColours{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

void storeLe32(uint8_t *out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Indexes 0, 1, ... colours - 1 repeated along each row.
Bytes stripeIndexes(uint32_t width, uint32_t height, uint32_t colours, uint32_t period = 1) {
    Bytes indexes(size_t{width} * height);
    for (size_t i = 0; i < indexes.size(); ++i)
        indexes[i] = static_cast<uint8_t>(i % width / period % colours);
    return indexes;
}

Bytes smallPng() {
    testimages::PngPicture picture = testimages::makePngPicture(8, 8, PNG_COLOR_TYPE_PALETTE, 8);
    picture.palette = kFourColours;
    Bytes indexes = stripeIndexes(8, 8, 4);
    for (uint32_t y = 0; y < 8; ++y)
        picture.rows.emplace_back(indexes.begin() + y * 8, indexes.begin() + (y + 1) * 8);
    return testimages::encodePng(picture);
}

Bytes smallBmp() {
    Bytes rgb;
    for (int i = 0; i < 4 * 4; ++i)
        rgb.insert(rgb.end(), {static_cast<uint8_t>(i % 2 * 255), 0, static_cast<uint8_t>(i * 9)});
    return testimages::encodeBmp24(4, 4, rgb);
}

Bytes smallGif() {
    return testimages::encodeGif(8, 8, kFourColours, stripeIndexes(8, 8, 4));
}

// A PNG of the given header and a few bytes of image data.
Bytes lyingPng(uint32_t width, uint32_t height, uint8_t colourType) {
    Bytes png = testimages::pngSignature();
    for (const Bytes &chunk :
         {testimages::pngChunk("IHDR", testimages::pngHeaderData(width, height, 8, colourType)),
          testimages::pngChunk("IDAT", {0x78, 0x9C, 0x63, 0x60, 0x00, 0x00}),
          testimages::pngChunk("IEND", {})})
        png.insert(png.end(), chunk.begin(), chunk.end());
    return png;
}

struct HostileImage : testing::Test {
    TempDir dir;
    std::string file(const std::string &name) const { return dir.file(name); }
    void put(const std::string &name, const Bytes &bytes) {
        ASSERT_TRUE(testimages::writeFile(file(name), bytes));
    }
    RunResult convert(const std::string &name, const std::vector<std::string> &extra = {},
                      const RunOptions &options = {}) {
        std::vector<std::string> arguments{"-image", name};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return runMorvik(arguments, dir.path, options);
    }
    // The load error, then one line with the reason.
    static bool isLoadError(const std::string &output, const std::string &name) {
        const std::string head = "\nError: Failed to load image file: " + name + "\nError: ";
        return output.rfind(head, 0) == 0 && output.ends_with(".\n") &&
               output.find('\n', head.size()) == output.size() - 1;
    }
    // The run refused the file with the load error.
    static void expectRefused(const RunResult &r, const std::string &name) {
        EXPECT_TRUE(isLoadError(r.output, name)) << r.output;
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.signal, 0);
    }
    static void expectConverted(const RunResult &r) {
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.signal, 0);
        EXPECT_NE(r.output.find("Done.\n"), std::string::npos) << r.output;
    }
    // Either outcome, but nothing else.
    static void expectConvertedOrRefused(const RunResult &r, const std::string &name,
                                         const std::string &what) {
        EXPECT_EQ(r.signal, 0) << what;
        if (r.status == 0)
            EXPECT_NE(r.output.find("Done.\n"), std::string::npos) << what << r.output;
        else
            EXPECT_TRUE(isLoadError(r.output, name)) << what << r.output;
        EXPECT_TRUE(r.status == 0 || r.status == 1) << what;
    }
    size_t sizeOf(const std::string &name) const { return readFileBytes(file(name)).size(); }
};

// ---------------------------------------------------------------------------
// Files that are not images at all.

TEST_F(HostileImage, EmptyFileDirectoryAndTextAreRefused) {
    put("empty.png", {});
    expectRefused(convert("empty.png", {"-target", "sms"}), "empty.png");
    ASSERT_EQ(mkdir(file("folder.png").c_str(), 0755), 0);
    expectRefused(convert("folder.png", {"-target", "sms"}), "folder.png");
    const std::string text = "This is not a picture, only text.\n";
    put("text.png", Bytes(text.begin(), text.end()));
    expectRefused(convert("text.png", {"-target", "32x", "-format", "d15"}), "text.png");
    expectRefused(convert("missing.png", {"-target", "sms"}), "missing.png");
    EXPECT_EQ(listDir(dir.path), (std::vector<std::string>{"empty.png", "folder.png", "text.png"}));
}

// ---------------------------------------------------------------------------
// Headers that lie about the size: refused before the pixels are allocated.

TEST_F(HostileImage, HugeDeclaredSizesAreRefusedWithoutTheMemory) {
    RunOptions limited;
    if (!kSanitized)
        limited.addressSpaceLimit = kAddressSpaceLimit;
    put("huge.png", lyingPng(100000, 100000, PNG_COLOR_TYPE_RGB));
    put("square.png", lyingPng(65535, 65535, PNG_COLOR_TYPE_RGB_ALPHA));
    Bytes bmp = smallBmp();
    storeLe32(&bmp[18], 60000); // width
    storeLe32(&bmp[22], 60000); // height
    put("huge.bmp", bmp);
    Bytes gif = smallGif();
    std::fill_n(gif.begin() + 6, 4, 0xFF); // 65535 x 65535 screen
    put("huge.gif", gif);
    for (const std::string name : {"huge.png", "square.png", "huge.bmp", "huge.gif"}) {
        RunResult r = convert(name, {"-target", "sms"}, limited);
        expectRefused(r, name);
        EXPECT_LT(r.maxRssKb, kMaxRssKb) << name;
    }
}

TEST_F(HostileImage, PngTooShortForItsDeclaredSizeIsRefusedWithoutTheMemory) {
    // Within the side limit, but 768 MiB of pixels cannot come out of 70 bytes.
    put("lying.png", lyingPng(16384, 16384, PNG_COLOR_TYPE_RGB));
    RunResult r = convert("lying.png", {"-target", "sms"});
    expectRefused(r, "lying.png");
    EXPECT_LT(r.maxRssKb, kMaxRssKb);
}

// ---------------------------------------------------------------------------
// Files cut short at every length.

struct Truncation {
    const char *name;
    Bytes (*make)();
};

void PrintTo(const Truncation &t, std::ostream *out) {
    *out << t.name;
}

struct TruncatedImage : HostileImage, testing::WithParamInterface<Truncation> {};

TEST_P(TruncatedImage, EveryPrefixIsConvertedOrRefused) {
    const Truncation &t = GetParam();
    const Bytes whole = t.make();
    ASSERT_GT(whole.size(), 20u);
    ASSERT_LT(whole.size(), 200u);
    put(t.name, whole);
    expectConverted(convert(t.name, {"-target", "sms"}));
    for (size_t length = 0; length < whole.size(); ++length) {
        put(t.name, Bytes(whole.begin(), whole.begin() + static_cast<long>(length)));
        expectConvertedOrRefused(convert(t.name, {"-target", "sms"}), t.name,
                                 "cut at " + std::to_string(length));
    }
    // A signature alone and the header alone are never enough.
    put(t.name, Bytes(whole.begin(), whole.begin() + 8));
    expectRefused(convert(t.name, {"-target", "sms"}), t.name);
}

INSTANTIATE_TEST_SUITE_P(Formats, TruncatedImage,
                         testing::Values(Truncation{"cut.png", smallPng},
                                         Truncation{"cut.bmp", smallBmp},
                                         Truncation{"cut.gif", smallGif}),
                         [](const testing::TestParamInfo<Truncation> &info) {
                             return std::string(info.param.name).substr(4);
                         });

// ---------------------------------------------------------------------------
// Damaged contents.

TEST_F(HostileImage, WrongCrcInACriticalChunkIsRefused) {
    const Bytes png = smallPng();
    for (const char *chunk : {"IHDR", "PLTE", "IDAT"}) {
        size_t offset = testimages::findPngChunk(png, chunk);
        ASSERT_NE(offset, std::string::npos) << chunk;
        uint32_t length = (uint32_t{png[offset]} << 24) | (uint32_t{png[offset + 1]} << 16) |
                          (uint32_t{png[offset + 2]} << 8) | png[offset + 3];
        Bytes damaged = png;
        damaged[offset + 8 + length] ^= 0x55; // first CRC byte
        put("crc.png", damaged);
        expectRefused(convert("crc.png", {"-target", "sms"}), "crc.png");
    }
}

TEST_F(HostileImage, WrongCrcInAnAncillaryChunkIsIgnored) {
    Bytes png = smallPng();
    Bytes text = testimages::pngChunk("tEXt", {'k', 0, 'v'});
    text.back() ^= 0x55;
    png.insert(png.begin() + static_cast<long>(testimages::findPngChunk(png, "IDAT")), text.begin(),
               text.end());
    put("text.png", png);
    put("clean.png", smallPng());
    expectConverted(convert("text.png", {"-target", "sms"}));
    expectConverted(convert("clean.png", {"-target", "sms"}));
    EXPECT_EQ(readFileBytes(file("text.png.pat")), readFileBytes(file("clean.png.pat")));
}

TEST_F(HostileImage, PaletteIndexBeyondThePaletteIsRefused) {
    // Six indexes into a palette of two colours.
    ASSERT_TRUE(
        testimages::writeIndexedPng(file("beyond.png"), 8, 8, stripeIndexes(8, 8, 6), kTwoColours));
    expectRefused(convert("beyond.png", {"-target", "sms"}), "beyond.png");
    put("beyond.gif", testimages::encodeGif(8, 8, kTwoColours, stripeIndexes(8, 8, 4)));
    expectRefused(convert("beyond.gif", {"-target", "sms"}), "beyond.gif");
    EXPECT_EQ(listDir(dir.path), (std::vector<std::string>{"beyond.gif", "beyond.png"}));
}

TEST_F(HostileImage, AncillaryChunkOf2GiBCostsNoMemory) {
    for (const char *type : {"tEXt", "zTXt", "iTXt", "sPLT"}) {
        Bytes png = smallPng();
        Bytes chunk = testimages::pngChunk(type, {'k', 0, 'v'});
        testimages::storeBe32(chunk.data(), 0x7FFFFFFF);
        png.insert(png.begin() + static_cast<long>(testimages::findPngChunk(png, "IDAT")),
                   chunk.begin(), chunk.end());
        put("claim.png", png);
        RunResult r = convert("claim.png", {"-target", "sms"});
        expectRefused(r, "claim.png");
        EXPECT_LT(r.maxRssKb, kMaxRssKb) << type;
    }
}

TEST_F(HostileImage, BmpWithBogusHeaderFields) {
    const Bytes bmp = smallBmp();
    struct Field {
        size_t offset;
        uint32_t value;
    };
    const Field fields[] = {
        {14, 0}, {14, 1},    {14, 39},         {14, 41},         {14, 1000},       {14, 0xFFFFFFFF},
        {10, 0}, {10, 4096}, {10, 0xFFFFFFF0}, {28, 0},          {28, 7},          {28, 0xFFFF},
        {22, 0}, {18, 0},    {30, 0xFFFFFFFF}, {22, 0x80000000}, {18, 0x80000000},
    };
    for (const Field &field : fields) {
        Bytes damaged = bmp;
        storeLe32(&damaged[field.offset], field.value);
        put("bogus.bmp", damaged);
        expectConvertedOrRefused(convert("bogus.bmp", {"-target", "sms"}), "bogus.bmp",
                                 "offset " + std::to_string(field.offset) + " = " +
                                     std::to_string(field.value));
    }
}

// ---------------------------------------------------------------------------
// Extreme but valid shapes.

TEST_F(HostileImage, OnePixel) {
    ASSERT_TRUE(testimages::writeIndexedPng(file("one.png"), 1, 1, {0}, kTwoColours));
    expectConverted(convert("one.png", {"-target", "sms"}));
    EXPECT_EQ(readFileBytes(file("one.png.pal")), Bytes{0x03});
    EXPECT_EQ(readFileBytes(file("one.png.nam")), (Bytes{0, 0}));
    EXPECT_EQ(sizeOf("one.png.pat"), 0u); // one colour needs no plane
    expectConverted(convert("one.png", {"-target", "sms", "-planes", "1", "-o", "one.p1"}));
    EXPECT_EQ(readFileBytes(file("one.p1")), Bytes(8, 0));
    expectConverted(convert("one.png", {"-target", "32x", "-format", "d15", "-o", "one.d15"}));
    Bytes words = readFileBytes(file("one.d15"));
    ASSERT_EQ(words.size(), 8u * 8 * 2);
    EXPECT_EQ(words[0] * 256 + words[1], 0x801F); // red, then the padding in the same colour
    EXPECT_EQ(std::count(words.begin(), words.end(), 0x80), 64);
}

TEST_F(HostileImage, NarrowAndTall) {
    ASSERT_TRUE(testimages::writeIndexedPng(file("tall.png"), 7, 1000, stripeIndexes(7, 1000, 3),
                                            kFourColours));
    expectConverted(convert("tall.png", {"-target", "sms"}));
    EXPECT_EQ(sizeOf("tall.png.pat"), 125u * 2 * 8); // 125 tiles of two planes
    EXPECT_EQ(sizeOf("tall.png.nam"), 125u * 2);
    expectConverted(convert("tall.png", {"-target", "32x", "-format", "d15", "-o", "tall.d15"}));
    EXPECT_EQ(sizeOf("tall.d15"), 8u * 1000 * 2);
}

TEST_F(HostileImage, WidestStripIsPaddedTo65536) {
    ASSERT_TRUE(testimages::writeIndexedPng(file("wide.png"), 65535, 1,
                                            stripeIndexes(65535, 1, 2, 8), kTwoColours));
    RunResult r = convert("wide.png", {"-target", "sms"});
    expectConverted(r);
    EXPECT_NE(r.output.find("Padding to 65536 pixels."), std::string::npos);
    EXPECT_EQ(sizeOf("wide.png.pat"), 8192u * 8); // 8192 tiles of one plane
    expectConverted(convert("wide.png", {"-target", "32x", "-format", "d15", "-o", "wide.d15"}));
    EXPECT_EQ(sizeOf("wide.d15"), 65536u * 8 * 2);
}

TEST_F(HostileImage, SideAbove65535IsRefused) {
    ASSERT_TRUE(
        testimages::writeIndexedPng(file("wider.png"), 65536, 1, Bytes(65536, 1), kTwoColours));
    expectRefused(convert("wider.png", {"-target", "sms"}), "wider.png");
    ASSERT_TRUE(testimages::writeBmp24(file("wider.bmp"), 65536, 1, Bytes(65536 * 3, 9)));
    expectRefused(convert("wider.bmp", {"-target", "32x", "-format", "d15"}), "wider.bmp");
    EXPECT_EQ(listDir(dir.path), (std::vector<std::string>{"wider.bmp", "wider.png"}));
}

} // namespace
