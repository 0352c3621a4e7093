// Writing the pattern data raw or compressed, with the search for the codec
// settings that compress it best.
#pragma once

#include "lzss/Lzss.hpp"

#include <cstdint>
#include <string>
#include <vector>

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
};

// Encodes the data with every dictionary size and threshold of the search
// table, in order, and keeps the first of the smallest results.
CodecTrial searchCodecSettings(const uint8_t *data, size_t length, bool verbose);

// Writes the data LZSS-encoded with dictSize and threshold, or with the
// search's choice (written back into both) when `search` is set; then prints
// the statistics. False with errorCode when the file cannot be written.
bool writeCompressedPatterns(const PatternOutput &output, bool search, int32_t &dictSize,
                             int32_t &threshold, int &errorCode);

// Writes the data as it is; prints the statistics when `statistics` is set.
bool writeRawPatterns(const PatternOutput &output, bool statistics, int &errorCode);
