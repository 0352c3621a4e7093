// Writing the pattern data raw or compressed, with the search for the codec
// settings that compress it best.
#pragma once

#include "lzss/Lzss.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Codec settings the search tries: dictionary sizes outer, thresholds inner.
inline constexpr std::array<int32_t, 3> kAutoDictSizes = {1024, 2048, 4096};
inline constexpr std::array<int32_t, 3> kAutoThresholds = {2, 3, 4};

// One result of the settings search.
struct CodecTrial {
    int32_t dictSize = 0;
    int32_t threshold = 0;
    int32_t compressedSize = 0;
    std::vector<uint8_t> bytes;
};

struct PatternOutput {
    std::string fileName;
    const uint8_t *data = nullptr;
    size_t length = 0;           // L: the pattern bytes
    int64_t unoptimisedSize = 0; // U: every tile position at the format's full size
    bool verbose = false;
    int32_t threads = 1; // for the settings search
};

// Encodes the data with every dictionary size and threshold of the search
// table, in order, and keeps the first of the smallest results. The trials
// run side by side on up to `threads` threads; the choice is the same.
CodecTrial searchCodecSettings(const uint8_t *data, size_t length, bool verbose,
                               int32_t threads = 1);

struct CodecSettings {
    int32_t dictSize = 4096;
    int32_t threshold = 2;
};

// Writes the data LZSS-encoded with the given settings, or with the search's
// choice when `search` is set; then prints the statistics. Returns the
// settings used. A file that cannot be written ends the job.
CodecSettings writeCompressedPatterns(const PatternOutput &output, bool search,
                                      CodecSettings settings);

// Writes the data as it is; prints the statistics when `statistics` is set.
// A file that cannot be written ends the job.
void writeRawPatterns(const PatternOutput &output, bool statistics);
