#include "lzss/Lzss.hpp"

#include <algorithm>

namespace {

constexpr int32_t kMinPositionBits = 9;  // 512-byte window
constexpr int32_t kMaxPositionBits = 12; // 4096-byte window

// The largest threshold that keeps F within N / 2: the first encoder step inserts the
// F positions before the first write position N - F.
int32_t maxThreshold(int32_t positionBits) {
    return (1 << (positionBits - 1)) - (1 << (16 - positionBits));
}

// A size of 0 or below counts as 1, and so gets the smallest window.
int32_t positionBitsFor(int32_t dictSize) {
    const uint32_t size = dictSize > 0 ? static_cast<uint32_t>(dictSize) : 1u;
    return std::clamp(lzssFloorLog2(size), kMinPositionBits, kMaxPositionBits);
}

} // namespace

int32_t lzssFloorLog2(uint32_t value) {
    int32_t bits = 0;
    for (uint32_t rest = value; rest > 1; rest >>= 1)
        ++bits;
    return bits;
}

LzssSettings lzssMakeSettings(int32_t threshold, int32_t dictSize) {
    const int32_t positionBits = positionBitsFor(dictSize);
    const int32_t lenBits = 16 - positionBits;
    LzssSettings settings;
    settings.positionBits = positionBits;
    settings.dictionarySize = 1 << positionBits;
    settings.fillByte = 0;
    settings.threshold = std::clamp(threshold, 0, maxThreshold(positionBits));
    settings.maxLen = settings.threshold + (1 << lenBits);
    settings.positionHighMask = (((settings.dictionarySize - 1) >> 8) & 0x0F) << lenBits;
    settings.lenMask = (1 << lenBits) - 1;
    return settings;
}

bool lzssThresholdValid(int32_t threshold, int32_t dictSize) {
    return threshold >= 0 && threshold <= maxThreshold(positionBitsFor(dictSize));
}
