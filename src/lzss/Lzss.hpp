// The LZSS codec: a ring buffer of N = 512..4096 bytes, matches coded in two
// bytes (position and length), literals in one, one flag bit per item.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LzssParams {
    int32_t dictionarySize = 4096; // N
    int32_t maxLen = 18;           // F = (1 << lenBits) + threshold
    int32_t nilIndex = 4096;       // N: marks a missing tree link
    int32_t threshold = 2;
    uint8_t fillByte = 0;
    int32_t matchLength = 0;
    int32_t matchPosition = 0;
    int32_t positionBits = 12;
    int32_t positionHighMask = 0xF0;
    int32_t lenMask = 0x0F;
    int32_t bytesRead = 0;
    int32_t bytesWritten = 0;
    // Each run allocates its window and tree links itself and frees them when it ends.
};

// Derives every parameter field from a dictionary size and a threshold. The size is
// taken as a power of two (its floor log2) and kept within 512..4096; a threshold
// outside the model (see lzssThresholdValid) is clamped into it, so every record this
// makes can be encoded and decoded. Callers that want to warn test the values first.
void lzssSetParams(LzssParams &params, int32_t threshold, int32_t dictSize);

// True when the threshold fits the model for this dictionary size:
// threshold >= 0 and (1 << lenBits) + threshold <= dictSize / 2, the size taken as
// lzssSetParams takes it. lzssSetParams keeps exactly the thresholds this accepts.
bool lzssThresholdValid(int32_t threshold, int32_t dictSize);

enum class LzssFileStatus {
    Ok,
    EmptyInput,   // encoder only: the output exists and is empty
    OpenFailed,   // the input could not be opened
    CreateFailed, // the output could not be created or written
    ReadFailed,   // reading the input failed part way
    OutOfMemory,
};

struct LzssFileResult {
    LzssFileStatus status = LzssFileStatus::Ok;
    int errorCode = 0; // errno for OpenFailed, CreateFailed, ReadFailed
};

// Streams one file into another (through a temporary file renamed into place).
// The input is opened before the output is created. bytesRead / bytesWritten
// hold the sizes afterwards.
LzssFileResult lzssEncodeFile(LzssParams &params, const std::string &inputName,
                              const std::string &outputName);

// Encodes a memory buffer; returns the stream (empty for an empty source). A failed
// allocation throws std::bad_alloc.
std::vector<uint8_t> lzssEncodeBuffer(LzssParams &params, const uint8_t *source, size_t length);

LzssFileResult lzssDecodeFile(LzssParams &params, const std::string &inputName,
                              const std::string &outputName);

// Decodes a stream in memory; a stream cut short gives a prefix of the data.
std::vector<uint8_t> lzssDecodeBuffer(const LzssParams &params, const uint8_t *stream,
                                      size_t length);
