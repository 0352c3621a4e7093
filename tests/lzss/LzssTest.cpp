// Parameters and the exact stream bytes of small, hand-checked inputs.
#include "lzss/LzssTestSupport.hpp"

#include <gtest/gtest.h>

namespace {

TEST(LzssSettings, DerivesEveryFieldFromSizeAndThreshold) {
    struct Row {
        int32_t size, threshold, positionBits, lenMask, highMask, maxLen;
    };
    const Row rows[] = {{512, 2, 9, 0x7F, 0x80, 130},  {1024, 2, 10, 0x3F, 0xC0, 66},
                        {2048, 2, 11, 0x1F, 0xE0, 34}, {4096, 2, 12, 0x0F, 0xF0, 18},
                        {1024, 3, 10, 0x3F, 0xC0, 67}, {1500, 2, 10, 0x3F, 0xC0, 66}};
    for (const Row &row : rows) {
        const LzssSettings settings = lzssMakeSettings(row.threshold, row.size);
        SCOPED_TRACE(row.size);
        EXPECT_EQ(settings.dictionarySize, 1 << row.positionBits);
        EXPECT_EQ(settings.positionBits, row.positionBits);
        EXPECT_EQ(settings.lenMask, row.lenMask);
        EXPECT_EQ(settings.positionHighMask, row.highMask);
        EXPECT_EQ(settings.maxLen, row.maxLen);
        EXPECT_EQ(settings.threshold, row.threshold);
        EXPECT_EQ(settings.fillByte, 0);
    }
}

TEST(LzssSettings, ValuesOutsideTheModelAreRejectedOrClamped) {
    EXPECT_TRUE(lzssThresholdValid(128, 512)); // F = 256 = N / 2
    EXPECT_FALSE(lzssThresholdValid(129, 512));
    EXPECT_TRUE(lzssThresholdValid(2032, 4096));
    EXPECT_FALSE(lzssThresholdValid(2033, 4096));
    EXPECT_FALSE(lzssThresholdValid(-1, 4096));
    LzssSettings settings = lzssMakeSettings(-3, 1 << 20);
    EXPECT_EQ(settings.dictionarySize, 4096);
    EXPECT_EQ(settings.threshold, 0);
    settings = lzssMakeSettings(1000, 100);
    EXPECT_EQ(settings.dictionarySize, 512);
    EXPECT_EQ(settings.threshold, 128);
    EXPECT_EQ(settings.maxLen, 256);
}

struct Example {
    const char *what;
    Bytes data;
    Bytes stream;
    int32_t size = 4096;
    int32_t threshold = 2;
};

TEST(LzssEncoder, ExamplesEncodeExactlyAndDecodeBack) {
    const Example examples[] = {
        {"nothing", {}, {}},
        {"three literals", {'a', 'b', 'c'}, {0x07, 0x61, 0x62, 0x63}},
        {"run overlapping its own output", Bytes(10, 0x61), {0x01, 0x61, 0xEE, 0xF6}},
        {"zeros match the unwritten window; cut match becomes literals",
         Bytes(20, 0),
         {0x06, 0xDC, 0xFF, 0x00, 0x00}},
        {"full-length matches name the later position",
         Bytes(100, 0x61),
         {0x01, 0x61, 0xEE, 0xFF, 0x00, 0x0F, 0x12, 0x0F, 0x24, 0x0F, 0x36, 0x0F, 0x40, 0x06}},
        {"repeat no longer than the threshold",
         {0x61, 0x62, 0x61, 0x62},
         {0x0F, 0x61, 0x62, 0x61, 0x62}},
        {"eight literals need no second flag byte",
         {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'},
         {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}},
        {"ninth literal opens a group of one",
         {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i'},
         {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x01, 'i'}},
        {"position bits above the length code", Bytes(10, 0x61), {0x01, 0x61, 0xBD, 0xC5}, 1024, 3},
    };
    for (const Example &example : examples) {
        SCOPED_TRACE(example.what);
        LzssStats stats{-1, -1};
        EXPECT_EQ(lzssEncodeBuffer(lzssMakeSettings(example.threshold, example.size),
                                   example.data.data(), example.data.size(), &stats),
                  example.stream);
        EXPECT_EQ(stats.bytesRead, static_cast<int32_t>(example.data.size()));
        EXPECT_EQ(stats.bytesWritten, static_cast<int32_t>(example.stream.size()));
        EXPECT_EQ(lzssTestDecode(example.stream, example.size, example.threshold), example.data);
    }
}

TEST(LzssDecoder, StreamsNotMadeByTheEncoder) {
    const Example examples[] = {
        {"match into the zero-filled window", {0, 0, 0}, {0x00, 0x00, 0x00}},
        {"bit 0 a match, bit 1 a literal", {0, 0, 0, 0x41}, {0x02, 0x00, 0x00, 0x41}},
        {"match cut after its first byte is dropped", {0x61}, {0x01, 0x61, 0xEE}},
        {"a flag byte alone", {}, {0xFF}},
        {"another flag byte alone", {}, {0xFE}},
    };
    for (const Example &example : examples) {
        SCOPED_TRACE(example.what);
        EXPECT_EQ(lzssTestDecode(example.stream), example.data);
    }
}

} // namespace
