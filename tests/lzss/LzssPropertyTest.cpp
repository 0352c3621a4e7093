// Properties over many generated inputs: round trips, agreement with the plain
// transcription in LzssReference.hpp, determinism, truncated and arbitrary streams.
#include "lzss/LzssReference.hpp"
#include "lzss/LzssTestSupport.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

const int32_t kSizes[] = {512, 1024, 2048, 4096};

// Shape 0 random bytes, 1 a three-letter alphabet, 2 runs, 3 copies of a few phrases
// with changes (like text or tiles), 4 zeros.
Bytes makeInput(int shape, size_t length, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes phrase(4 + rng() % 60);
    for (uint8_t &byte : phrase)
        byte = static_cast<uint8_t>(rng() % 16);
    Bytes data(length);
    for (size_t i = 0; i < length; ++i) {
        const uint32_t roll = rng();
        switch (shape) {
        case 0:
            data[i] = static_cast<uint8_t>(roll);
            break;
        case 1:
            data[i] = static_cast<uint8_t>(roll % 3);
            break;
        case 2:
            data[i] = roll % 64 == 0 || i == 0 ? static_cast<uint8_t>(roll >> 8) : data[i - 1];
            break;
        case 3:
            data[i] = roll % 50 == 0 ? static_cast<uint8_t>(roll >> 8) : phrase[i % phrase.size()];
            break;
        default:
            break;
        }
        if (shape == 3 && roll % 200 == 0)
            std::shuffle(phrase.begin(), phrase.end(), rng); // start a new phrase
    }
    return data;
}

TEST(LzssRoundTrip, EverySizeThresholdShapeAndLength) {
    const size_t lengths[] = {1, 2, 7, 8, 9, 17, 18, 19, 130, 257, 4097, 30000};
    uint32_t seed = 1;
    for (int32_t size : kSizes)
        for (int32_t threshold = 0; threshold <= 4; ++threshold)
            for (int shape = 0; shape < 5; ++shape)
                for (size_t length : lengths) {
                    const Bytes data = makeInput(shape, length, seed++);
                    const Bytes stream = lzssTestEncode(data, size, threshold);
                    ASSERT_EQ(lzssTestDecode(stream, size, threshold), data)
                        << size << " " << threshold << " " << shape << " " << length;
                }
    for (int shape = 0; shape < 5; ++shape) { // long inputs, default settings
        const Bytes data = makeInput(shape, 100000, seed++);
        ASSERT_EQ(lzssTestDecode(lzssTestEncode(data)), data) << shape;
    }
}

TEST(LzssRoundTrip, LargestThresholdOfTheSmallestWindow) {
    // F = 256 = N / 2: the first insertions reach down to position 0.
    const Bytes data = makeInput(2, 20000, 5);
    const Bytes stream = lzssTestEncode(data, 512, 128);
    EXPECT_EQ(lzssTestDecode(stream, 512, 128), data);
    EXPECT_EQ(stream, lzssReferenceEncode(data.data(), data.size(), 512, 128));
}

TEST(LzssReferenceMatch, EncoderIsByteIdenticalToPlainTranscription) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 120; ++round) {
        const int32_t size = kSizes[round % 4];
        const int32_t threshold = (round / 4) % 5;
        const Bytes data =
            makeInput(static_cast<int>(rng() % 5), round % 10 == 0 ? 20000 : rng() % 5000, rng());
        ASSERT_EQ(lzssTestEncode(data, size, threshold),
                  lzssReferenceEncode(data.data(), data.size(), size, threshold))
            << "round " << round;
    }
}

// The encoder takes more untested descent steps while walks run deep and fewer again
// when they get short: stretches of shallow and deep trees in turn move it both ways.
TEST(LzssReferenceMatch, EncoderIsIdenticalWhileWalksChangeDepth) {
    Bytes data;
    for (uint32_t stretch = 0; stretch < 8; ++stretch) {
        const Bytes part = makeInput(stretch % 2 == 0 ? 0 : 1, 14000, stretch);
        data.insert(data.end(), part.begin(), part.end());
    }
    for (int32_t size : kSizes)
        ASSERT_EQ(lzssTestEncode(data, size, 2),
                  lzssReferenceEncode(data.data(), data.size(), size, 2))
            << size;
}

TEST(LzssReferenceMatch, DecoderAgreesOnArbitraryBytes) {
    // Random streams are full of matches into the unwritten window, overlaps and wraps;
    // the long ones make the output grow many times.
    std::mt19937 rng(99);
    for (int round = 0; round < 404; ++round) {
        const int32_t size = kSizes[round % 4];
        const int32_t threshold = round % 5;
        Bytes stream(round >= 400 ? 200000 : rng() % 3000);
        for (uint8_t &byte : stream)
            byte = static_cast<uint8_t>(rng());
        ASSERT_EQ(lzssTestDecode(stream, size, threshold),
                  lzssReferenceDecode(stream.data(), stream.size(), size, threshold))
            << "round " << round;
    }
}

TEST(LzssEncoder, SameRecordGivesSameStreamEveryRun) {
    const Bytes data = makeInput(3, 50000, 3);
    const Bytes other = makeInput(1, 20000, 4);
    LzssSettings settings = lzssMakeSettings(2, 4096);
    const Bytes stream = lzssEncodeBuffer(settings, data.data(), data.size());
    settings = lzssMakeSettings(4, 1024);
    lzssEncodeBuffer(settings, other.data(), other.size());
    settings = lzssMakeSettings(2, 4096);
    EXPECT_EQ(lzssEncodeBuffer(settings, data.data(), data.size()), stream);
}

TEST(LzssDecoder, EveryCutOfAStreamGivesAPrefix) {
    const Bytes data = makeInput(3, 3000, 11);
    for (int32_t size : {512, 4096}) {
        const Bytes stream = lzssTestEncode(data, size, 2);
        size_t previous = 0;
        for (size_t cut = 0; cut <= stream.size(); ++cut) {
            const Bytes decoded =
                lzssTestDecode(Bytes(stream.begin(), stream.begin() + cut), size, 2);
            ASSERT_LE(decoded.size(), data.size());
            ASSERT_TRUE(std::equal(decoded.begin(), decoded.end(), data.begin())) << cut;
            ASSERT_GE(decoded.size(), previous) << cut;
            previous = decoded.size();
        }
        EXPECT_EQ(previous, data.size());
    }
}

} // namespace
