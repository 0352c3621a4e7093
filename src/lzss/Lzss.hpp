// The LZSS codec: a ring buffer of N = 512..4096 bytes, matches coded in two
// bytes (position and length), literals in one, one flag bit per item.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a stream is made with. The encoder and decoder only read it, and derive the
// fields afresh from N and the threshold, so an edited record cannot break the limits.
struct LzssSettings {
    int32_t dictionarySize = 4096;   // N
    int32_t maxLen = 18;             // F = (1 << lenBits) + threshold
    int32_t threshold = 2;           // the longest match still sent as literals
    uint8_t fillByte = 0;            // the window's contents before the first byte
    int32_t positionBits = 12;       // log2 N; lenBits = 16 - positionBits
    int32_t positionHighMask = 0xF0; // the bits of a match's second byte that hold position
    int32_t lenMask = 0x0F;
};

// What an encoding run saw; each count stops at INT32_MAX.
struct LzssStats {
    int32_t bytesRead = 0;
    int32_t bytesWritten = 0;
};

// floor(log2 value): the shifts after which the value is 1; 0 for 0 and 1.
int32_t lzssFloorLog2(uint32_t value);

// Derives every settings field from a dictionary size and a threshold. The size is
// taken as a power of two (its floor log2) and kept within 512..4096; a threshold
// outside the model (see lzssThresholdValid) is clamped into it, so every record this
// makes can be encoded and decoded. Callers that want to warn test the values first.
LzssSettings lzssMakeSettings(int32_t threshold, int32_t dictSize);

// True when the threshold fits the model for this dictionary size:
// threshold >= 0 and (1 << lenBits) + threshold <= dictSize / 2, the size taken as
// lzssMakeSettings takes it. lzssMakeSettings keeps exactly the thresholds this accepts.
bool lzssThresholdValid(int32_t threshold, int32_t dictSize);

enum class LzssFileStatus {
    Ok,
    EmptyInput,   // encoder only: the output exists and is empty
    OpenFailed,   // the input could not be opened
    CreateFailed, // the output could not be created or written
    ReadFailed,   // reading the input failed part way
};

struct LzssFileResult {
    LzssFileStatus status = LzssFileStatus::Ok;
    int errorCode = 0; // errno for OpenFailed, CreateFailed, ReadFailed
    LzssStats stats;   // encoder only: what it read and wrote, also when it failed
};

// Streams one file into another (through a temporary file renamed into place).
// The input is opened before the output is created. A failed allocation throws
// std::bad_alloc and leaves no output behind.
LzssFileResult lzssEncodeFile(const LzssSettings &settings, const std::string &inputName,
                              const std::string &outputName);

// Encodes a memory buffer; returns the stream (empty for an empty source) and, when
// `stats` is given, what the run read and wrote. A failed allocation throws std::bad_alloc.
std::vector<uint8_t> lzssEncodeBuffer(const LzssSettings &settings, const uint8_t *source,
                                      size_t length, LzssStats *stats = nullptr);

LzssFileResult lzssDecodeFile(const LzssSettings &settings, const std::string &inputName,
                              const std::string &outputName);

// Decodes a stream in memory; a stream cut short gives a prefix of the data.
std::vector<uint8_t> lzssDecodeBuffer(const LzssSettings &settings, const uint8_t *stream,
                                      size_t length);
