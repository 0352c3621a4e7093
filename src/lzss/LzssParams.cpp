#include "lzss/Lzss.hpp"

#include <algorithm>

namespace {

constexpr int32_t kMinPositionBits = 9;  // 512-byte window
constexpr int32_t kMaxPositionBits = 12; // 4096-byte window

// floor(log2 size): the shifts after which the size is 1; 0 for sizes below 2.
int32_t floorLog2(int32_t size) {
    int32_t bits = 0;
    for (uint32_t rest = size > 0 ? static_cast<uint32_t>(size) : 1u; rest > 1; rest >>= 1)
        ++bits;
    return bits;
}

// The largest threshold that keeps F within N / 2: the first encoder step inserts the
// F positions before the first write position N - F.
int32_t maxThreshold(int32_t positionBits) {
    return (1 << (positionBits - 1)) - (1 << (16 - positionBits));
}

int32_t positionBitsFor(int32_t dictSize) {
    return std::clamp(floorLog2(dictSize), kMinPositionBits, kMaxPositionBits);
}

} // namespace

void lzssSetParams(LzssParams &params, int32_t threshold, int32_t dictSize) {
    const int32_t positionBits = positionBitsFor(dictSize);
    const int32_t lenBits = 16 - positionBits;
    params.positionBits = positionBits;
    params.dictionarySize = 1 << positionBits;
    params.nilIndex = params.dictionarySize;
    params.fillByte = 0;
    params.threshold = std::clamp(threshold, 0, maxThreshold(positionBits));
    params.maxLen = params.threshold + (1 << lenBits);
    params.positionHighMask = (((params.dictionarySize - 1) >> 8) & 0x0F) << lenBits;
    params.lenMask = (1 << lenBits) - 1;
}

bool lzssThresholdValid(int32_t threshold, int32_t dictSize) {
    return threshold >= 0 && threshold <= maxThreshold(positionBitsFor(dictSize));
}
