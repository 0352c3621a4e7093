#include "common/OutputFile.hpp"
#include "lzss/Lzss.hpp"
#include "lzss/LzssFile.hpp"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

// The decoder keeps no separate ring buffer: ring position P at the time the write
// position is r holds the byte written (r - P) mod N bytes ago (N ago when they are
// equal), or the fill byte when no byte was written that far back. So a match is a
// copy from that distance back in the output, which is kept contiguous for it.

namespace {

constexpr size_t kBlockSize = 64 * 1024;
constexpr size_t kFileWindow = 256 * 1024;

// Matches are copied in 16-byte pieces and may write up to 15 bytes past their end.
constexpr size_t kCopySlack = 16;

// A stream group holds at most a flag byte and eight two-byte matches.
constexpr size_t kLongestGroup = 17;

struct LzssDecodeState {
    uint32_t flags = 0; // flag byte below a sentinel of ones; bit 8 clear: read a new one
    int32_t writePosition = 0;
};

// Decoded bytes; at least the last N of them (all, when fewer) sit before `used`.
struct LzssWindow {
    std::vector<uint8_t> bytes;
    size_t used = 0;
};

struct LzssVectorGrowth {
    void makeRoom(LzssWindow &window, size_t need) {
        window.bytes.resize(std::max(window.bytes.size() * 2, window.used + need));
    }
};

// Hands all but the last N bytes to the file and moves those N to the front.
struct LzssFileFlush {
    OutputFile &file;
    size_t keep; // N

    void flush(LzssWindow &window) {
        if (window.used <= keep)
            return;
        const size_t done = window.used - keep;
        writeOutputBytes(file, window.bytes.data(), done);
        std::memmove(window.bytes.data(), window.bytes.data() + done, keep);
        window.used = keep;
    }

    void makeRoom(LzssWindow &window, size_t need) {
        flush(window);
        if (window.bytes.size() - window.used < need)
            window.bytes.resize(window.used + need);
    }
};

struct LzssDecodeModel {
    int32_t size;   // N
    int32_t maxLen; // F
    int32_t threshold;
    int32_t positionShift;
    int32_t positionHighMask;
    int32_t lenMask;
    uint8_t fillByte;
};

LzssDecodeModel lzssDecodeModel(const LzssSettings &settings) {
    const LzssSettings model = lzssMakeSettings(settings.threshold, settings.dictionarySize);
    return {model.dictionarySize,   model.maxLen,  model.threshold, model.positionBits - 8,
            model.positionHighMask, model.lenMask, model.fillByte};
}

// Copies count bytes that lie distance back and returns the new end of the output;
// there is room for count + kCopySlack bytes. Positions before the first output byte
// still hold the fill byte.
uint8_t *lzssCopyMatch(const uint8_t *base, uint8_t *out, ptrdiff_t distance, int32_t count,
                       uint8_t fillByte) {
    if (out - base < distance) {
        const ptrdiff_t before = distance - (out - base);
        for (int32_t k = 0; k < count; ++k)
            out[k] = k < before ? fillByte : out[k - distance];
    } else if (distance >= static_cast<ptrdiff_t>(kCopySlack)) {
        const uint8_t *from = out - distance;
        for (int32_t k = 0; k < count; k += static_cast<int32_t>(kCopySlack))
            std::memcpy(out + k, from + k, kCopySlack);
    } else {
        // Overlapping: each byte is written before it is read again.
        const uint8_t *from = out - distance;
        for (int32_t k = 0; k < count; ++k)
            out[k] = from[k];
    }
    return out + count;
}

// The decoder's registers for one chunk: copied out of the state and the window so the
// byte stores of the hot loop cannot force them to be reloaded.
struct LzssDecodeCursor {
    LzssDecodeModel model;
    uint32_t flags;
    int32_t writePosition;
    uint8_t *base;
    uint8_t *out;
    uint8_t *limit;
};

void lzssDecodeLiteral(LzssDecodeCursor &cursor, uint8_t byte) {
    *cursor.out++ = byte;
    cursor.writePosition = (cursor.writePosition + 1) & (cursor.model.size - 1);
}

void lzssDecodeMatch(LzssDecodeCursor &cursor, const uint8_t *item) {
    const LzssDecodeModel &model = cursor.model;
    const int32_t position = item[0] | ((item[1] & model.positionHighMask) << model.positionShift);
    const int32_t count = (item[1] & model.lenMask) + model.threshold + 1;
    const int32_t wrap = model.size - 1;
    const int32_t back = (cursor.writePosition - position) & wrap;
    cursor.out = lzssCopyMatch(cursor.base, cursor.out, back == 0 ? model.size : back, count,
                               model.fillByte);
    cursor.writePosition = (cursor.writePosition + count) & wrap;
}

// Decodes a whole group of eight items; the caller has checked both input and room.
const uint8_t *lzssDecodeGroup(LzssDecodeCursor &cursor, const uint8_t *in) {
    uint32_t flags = *in++;
    if (flags == 0xFF) {
        std::memcpy(cursor.out, in, 8);
        cursor.out += 8;
        cursor.writePosition = (cursor.writePosition + 8) & (cursor.model.size - 1);
        return in + 8;
    }
    for (int item = 0; item < 8; ++item, flags >>= 1) {
        if (flags & 1) {
            lzssDecodeLiteral(cursor, *in++);
        } else {
            lzssDecodeMatch(cursor, in);
            in += 2;
        }
    }
    return in;
}

template <typename Growth>
void lzssEnsureRoom(LzssDecodeCursor &cursor, LzssWindow &window, Growth &growth, size_t need) {
    if (static_cast<size_t>(cursor.limit - cursor.out) >= need)
        return;
    window.used = static_cast<size_t>(cursor.out - cursor.base);
    growth.makeRoom(window, need);
    cursor.base = window.bytes.data();
    cursor.out = cursor.base + window.used;
    cursor.limit = cursor.base + window.bytes.size();
}

// Decodes the complete items of in[0, length) and returns the bytes consumed; a match
// whose second byte is not there yet is left for the next call.
template <typename Growth>
size_t lzssDecodeChunk(const LzssDecodeModel &model, LzssDecodeState &state, LzssWindow &window,
                       Growth &growth, const uint8_t *in, size_t length) {
    uint8_t *base = window.bytes.data();
    LzssDecodeCursor cursor{model, state.flags,        state.writePosition,
                            base,  base + window.used, base + window.bytes.size()};
    const uint8_t *next = in;
    const uint8_t *end = in + length;
    const size_t groupRoom = 8 * static_cast<size_t>(model.maxLen) + kCopySlack;
    const size_t itemRoom = static_cast<size_t>(model.maxLen) + kCopySlack;
    for (;;) {
        if ((cursor.flags & 0x100) == 0) {
            if (end - next >= static_cast<ptrdiff_t>(kLongestGroup)) {
                lzssEnsureRoom(cursor, window, growth, groupRoom);
                next = lzssDecodeGroup(cursor, next);
                continue;
            }
            if (next == end)
                break;
            cursor.flags = *next++ | 0xFF00u;
        }
        if (next == end)
            break;
        lzssEnsureRoom(cursor, window, growth, itemRoom);
        if (cursor.flags & 1) {
            lzssDecodeLiteral(cursor, *next++);
        } else {
            if (end - next < 2)
                break;
            lzssDecodeMatch(cursor, next);
            next += 2;
        }
        cursor.flags >>= 1;
    }
    state.flags = cursor.flags;
    state.writePosition = cursor.writePosition;
    window.used = static_cast<size_t>(cursor.out - cursor.base);
    return static_cast<size_t>(next - in);
}

// Reads the stream in blocks; the one byte of a match cut by a block end is carried
// over to the front of the next block. Returns errno of a failed read, else 0.
int lzssDecodeStream(const LzssDecodeModel &model, std::FILE *input, LzssWindow &window,
                     LzssFileFlush &growth) {
    LzssDecodeState state;
    state.writePosition = model.size - model.maxLen;
    std::vector<uint8_t> block(kBlockSize + kLongestGroup);
    size_t carried = 0;
    for (;;) {
        errno = 0;
        const size_t got = std::fread(block.data() + carried, 1, kBlockSize, input);
        if (got == 0)
            return std::ferror(input) ? (errno != 0 ? errno : EIO) : 0;
        const size_t available = carried + got;
        const size_t consumed =
            lzssDecodeChunk(model, state, window, growth, block.data(), available);
        carried = available - consumed;
        std::memmove(block.data(), block.data() + consumed, carried);
    }
}

} // namespace

LzssFileResult lzssDecodeFile(const LzssSettings &settings, const std::string &inputName,
                              const std::string &outputName) {
    return lzssRunFile(inputName, outputName, [&](std::FILE *input, OutputFile &output) {
        const LzssDecodeModel model = lzssDecodeModel(settings);
        LzssWindow window;
        window.bytes.resize(static_cast<size_t>(model.size) + kFileWindow);
        LzssFileFlush growth{output, static_cast<size_t>(model.size)};
        const int readError = lzssDecodeStream(model, input, window, growth);
        if (readError == 0)
            writeOutputBytes(output, window.bytes.data(), window.used);
        return readError;
    });
}

std::vector<uint8_t> lzssDecodeBuffer(const LzssSettings &settings, const uint8_t *stream,
                                      size_t length) {
    if (stream == nullptr || length == 0)
        return {};
    const LzssDecodeModel model = lzssDecodeModel(settings);
    LzssDecodeState state;
    state.writePosition = model.size - model.maxLen;
    LzssWindow window;
    window.bytes.resize(length * 3 + 8 * static_cast<size_t>(model.maxLen) + kCopySlack);
    LzssVectorGrowth growth;
    lzssDecodeChunk(model, state, window, growth, stream, length);
    window.bytes.resize(window.used);
    return std::move(window.bytes);
}
