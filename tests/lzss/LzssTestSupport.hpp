// Small helpers shared by the LZSS tests.
#pragma once

#include "lzss/Lzss.hpp"

#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline Bytes lzssTestEncode(const Bytes &data, int32_t dictSize = 4096, int32_t threshold = 2) {
    return lzssEncodeBuffer(lzssMakeSettings(threshold, dictSize), data.data(), data.size());
}

inline Bytes lzssTestDecode(const Bytes &stream, int32_t dictSize = 4096, int32_t threshold = 2) {
    return lzssDecodeBuffer(lzssMakeSettings(threshold, dictSize), stream.data(), stream.size());
}
