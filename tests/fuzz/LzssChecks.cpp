// The LZSS checks: decoding arbitrary streams and encoding arbitrary data.
#include "fuzz/FuzzChecks.hpp"

#include "fuzz/ReferenceCodec.hpp"
#include "lzss/Lzss.hpp"

#include <cstdint>
#include <vector>

namespace {

constexpr int32_t kDictSizes[] = {512, 1024, 2048, 4096};
constexpr int32_t kPlainThresholds = 5;     // 0..4
constexpr int32_t kLargeThresholdPick = 63; // bits 2-7 all set: a large threshold
// The encoder's first step inserts F strings that share long prefixes into its
// search tree, about F^3 / 6 byte comparisons: seconds each for the largest F
// of 4096 bytes. The round trip keeps F within this to keep the fuzzer fast.
constexpr int32_t kLongestEncoderMatch = 256;

struct CodecChoice {
    int32_t dictSize = 4096;
    int32_t threshold = 2;
};

int32_t largestThreshold(int32_t dictSize, int32_t longestMatch) {
    int32_t threshold = 0;
    while (lzssThresholdValid(threshold + 1, dictSize)) {
        if (lzssMakeSettings(threshold + 1, dictSize).maxLen > longestMatch)
            break;
        ++threshold;
    }
    return threshold;
}

// Bits 0-1: the dictionary size; bits 2-7: the largest valid threshold whose
// longest match is at most longestMatch when all set (it makes the encoder
// slow, so it is picked rarely), else a threshold 0..4.
CodecChoice codecChoice(uint8_t byte, int32_t longestMatch) {
    CodecChoice choice;
    choice.dictSize = kDictSizes[byte & 3];
    const int32_t pick = byte >> 2;
    choice.threshold = pick == kLargeThresholdPick ? largestThreshold(choice.dictSize, longestMatch)
                                                   : pick % kPlainThresholds;
    return choice;
}

LzssSettings settingsFor(const CodecChoice &choice) {
    return lzssMakeSettings(choice.threshold, choice.dictSize);
}

std::string describe(const CodecChoice &choice) {
    return " (dict " + std::to_string(choice.dictSize) + ", threshold " +
           std::to_string(choice.threshold) + ")";
}

} // namespace

std::string checkLzssDecode(const uint8_t *data, size_t size) {
    if (size == 0)
        return {};
    const CodecChoice choice = codecChoice(data[0], INT32_MAX);
    const LzssSettings settings = settingsFor(choice);
    const uint8_t *stream = data + 1;
    const size_t length = size - 1;
    std::vector<uint8_t> decoded = lzssDecodeBuffer(settings, stream, length);
    // Each item takes at least one stream byte and yields at most maxLen bytes.
    if (decoded.size() > length * static_cast<size_t>(settings.maxLen))
        return "decoded " + std::to_string(decoded.size()) + " bytes from " +
               std::to_string(length) + describe(choice);
    if (decoded != referenceDecode(stream, length, choice.dictSize, choice.threshold))
        return "decoder differs from the reference decoder" + describe(choice);
    return {};
}

std::string checkLzssRoundTrip(const uint8_t *data, size_t size) {
    if (size == 0)
        return {};
    const CodecChoice choice = codecChoice(data[0], kLongestEncoderMatch);
    const LzssSettings settings = settingsFor(choice);
    const uint8_t *source = data + 1;
    const size_t length = size - 1;
    LzssStats stats;
    std::vector<uint8_t> stream = lzssEncodeBuffer(settings, source, length, &stats);
    if (static_cast<size_t>(stats.bytesWritten) != stream.size())
        return "bytesWritten " + std::to_string(stats.bytesWritten) + " for a stream of " +
               std::to_string(stream.size()) + describe(choice);
    if (stream != referenceEncode(source, length, choice.dictSize, choice.threshold))
        return "encoder differs from the reference encoder" + describe(choice);
    std::vector<uint8_t> decoded =
        lzssDecodeBuffer(settingsFor(choice), stream.data(), stream.size());
    if (decoded != std::vector<uint8_t>(source, source + length))
        return "round trip changed " + std::to_string(length) + " bytes" + describe(choice);
    return {};
}
