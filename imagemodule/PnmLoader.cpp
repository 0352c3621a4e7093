// Reading binary PGM (P5) and PPM (P6) files with samples of 8 or 16 bits. A
// 16-bit sample keeps its high byte; samples are not rescaled to the maximum
// value. The header is magic, width, height and maximum value, separated by
// white space and comments, then exactly one white space byte before the samples.
#include "ByteReader.hpp"
#include "ImageInternal.hpp"

namespace imagemodule {

namespace {

constexpr uint64_t kMaxValue = 65535;

bool isSpace(uint32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

uint32_t peek(const ByteReader &reader) {
    return bytesLeft(reader) > 0 ? reader.data[reader.offset] : 0;
}

// Skips white space and comments (from '#' to the end of the line); false when
// there was none, or a comment runs to the end of the file.
bool skipSeparators(ByteReader &reader) {
    const size_t start = reader.offset;
    while (bytesLeft(reader) > 0) {
        const uint32_t c = peek(reader);
        if (isSpace(c)) {
            skipBytes(reader, 1);
        } else if (c == '#') {
            while (bytesLeft(reader) > 0 && peek(reader) != '\n' && peek(reader) != '\r')
                skipBytes(reader, 1);
            if (bytesLeft(reader) == 0)
                return false;
        } else {
            break;
        }
    }
    return reader.offset > start;
}

// A decimal number of 1..limit.
bool readNumber(ByteReader &reader, uint64_t limit, uint64_t &value) {
    value = 0;
    const size_t start = reader.offset;
    while (bytesLeft(reader) > 0 && peek(reader) >= '0' && peek(reader) <= '9') {
        value = value * 10 + (peek(reader) - '0');
        if (value > limit)
            return false;
        skipBytes(reader, 1);
    }
    return reader.offset > start && value >= 1;
}

struct PnmHeader {
    size_t channels = 0;
    uint64_t width = 0;
    uint64_t height = 0;
    size_t sampleBytes = 1;
};

bool readHeader(ByteReader &reader, PnmHeader &header) {
    const uint8_t *magic = takeBytes(reader, 2);
    if (magic == nullptr || magic[0] != 'P' || (magic[1] != '5' && magic[1] != '6'))
        return false;
    header.channels = magic[1] == '6' ? 3 : 1;
    uint64_t maxValue = 0;
    if (!skipSeparators(reader) || !readNumber(reader, kMaxSide, header.width) ||
        !skipSeparators(reader) || !readNumber(reader, kMaxSide, header.height) ||
        !skipSeparators(reader) || !readNumber(reader, kMaxValue, maxValue))
        return false;
    header.sampleBytes = maxValue > 255 ? 2 : 1;
    uint32_t end = 0;
    return readU8(reader, end) && isSpace(end);
}

} // namespace

std::unique_ptr<MorvikImage> loadPnm(const std::vector<uint8_t> &data) {
    ByteReader reader{data, 0};
    PnmHeader header;
    if (!readHeader(reader, header))
        return nullptr;
    const size_t pixelSize = header.channels * header.sampleBytes;
    const uint8_t *samples = takeBytes(reader, header.width * header.height * pixelSize);
    if (samples == nullptr)
        return nullptr;
    std::unique_ptr<MorvikImage> image = makeImage(header.width, header.height, 3);
    if (!image)
        return nullptr;
    const bool colour = header.channels == 3;
    for (size_t y = 0; y < header.height; ++y) {
        uint8_t *out = rowFromTop(*image, y);
        for (size_t x = 0; x < header.width; ++x, out += 3, samples += pixelSize) {
            // Red, green, blue (or grey three times); a 16-bit sample's high byte comes first.
            out[0] = samples[colour ? 2 * header.sampleBytes : 0];
            out[1] = samples[colour ? header.sampleBytes : 0];
            out[2] = samples[0];
        }
    }
    return image;
}

} // namespace imagemodule
