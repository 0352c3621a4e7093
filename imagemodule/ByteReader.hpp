// Bounds-checked reading of a file held in memory, for the readers of the
// small formats. Every read either succeeds whole or fails and leaves the
// position where it was; no read goes past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace imagemodule {

struct ByteReader {
    const std::vector<uint8_t> &data;
    size_t offset = 0;
};

inline size_t bytesLeft(const ByteReader &reader) {
    return reader.offset <= reader.data.size() ? reader.data.size() - reader.offset : 0;
}

inline bool skipBytes(ByteReader &reader, uint64_t count) {
    if (count > bytesLeft(reader))
        return false;
    reader.offset += static_cast<size_t>(count);
    return true;
}

// The next count bytes, or null when fewer are left; the position moves past them.
inline const uint8_t *takeBytes(ByteReader &reader, uint64_t count) {
    if (count > bytesLeft(reader))
        return nullptr;
    const uint8_t *bytes = reader.data.data() + reader.offset;
    reader.offset += static_cast<size_t>(count);
    return bytes;
}

inline bool readU8(ByteReader &reader, uint32_t &value) {
    const uint8_t *bytes = takeBytes(reader, 1);
    if (bytes == nullptr)
        return false;
    value = bytes[0];
    return true;
}

inline bool readLe16(ByteReader &reader, uint32_t &value) {
    const uint8_t *bytes = takeBytes(reader, 2);
    if (bytes == nullptr)
        return false;
    value = bytes[0] | uint32_t{bytes[1]} << 8;
    return true;
}

inline bool readLe32(ByteReader &reader, uint32_t &value) {
    const uint8_t *bytes = takeBytes(reader, 4);
    if (bytes == nullptr)
        return false;
    value =
        bytes[0] | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
    return true;
}

inline bool readBe16(ByteReader &reader, uint32_t &value) {
    const uint8_t *bytes = takeBytes(reader, 2);
    if (bytes == nullptr)
        return false;
    value = uint32_t{bytes[0]} << 8 | bytes[1];
    return true;
}

inline bool readBe32(ByteReader &reader, uint32_t &value) {
    const uint8_t *bytes = takeBytes(reader, 4);
    if (bytes == nullptr)
        return false;
    value =
        uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
    return true;
}

} // namespace imagemodule
