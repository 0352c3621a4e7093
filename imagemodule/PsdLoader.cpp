// Reading the merged picture of Photoshop files: RGB mode, 8 or 16-bit samples
// (a 16-bit sample keeps its high byte), plain or PackBits-coded rows. The first
// three channels are red, green and blue, a fourth is alpha; colours of partly
// transparent pixels, stored blended with white, are unblended. Every picture
// gives 32 bits a pixel, opaque when it has no alpha channel.
#include "ByteReader.hpp"
#include "ImageInternal.hpp"

#include <algorithm>

namespace imagemodule {

namespace {

constexpr uint32_t kRgbMode = 3;
constexpr uint32_t kMaxChannels = 56;
// A PackBits packet of two bytes stands for up to 128 bytes.
constexpr uint64_t kMaxSamplesPerFileByte = 64;

struct PsdHeader {
    uint32_t channels = 0;
    uint32_t height = 0;
    uint32_t width = 0;
    uint32_t depth = 0;
    uint32_t compression = 0;
};

bool skipSection(ByteReader &reader) {
    uint32_t length = 0;
    return readBe32(reader, length) && skipBytes(reader, length);
}

bool readHeader(ByteReader &reader, PsdHeader &header) {
    uint32_t version = 0, mode = 0;
    if (!skipBytes(reader, 4) || !readBe16(reader, version) || !skipBytes(reader, 6) ||
        !readBe16(reader, header.channels) || !readBe32(reader, header.height) ||
        !readBe32(reader, header.width) || !readBe16(reader, header.depth) ||
        !readBe16(reader, mode))
        return false;
    if (version != 1 || mode != kRgbMode || header.channels < 3 || header.channels > kMaxChannels ||
        (header.depth != 8 && header.depth != 16))
        return false;
    // Colour mode data, image resources, layers: none of them is needed.
    return skipSection(reader) && skipSection(reader) && skipSection(reader) &&
           readBe16(reader, header.compression) && header.compression <= 1;
}

size_t storedRowBytes(const PsdHeader &header) {
    return size_t{header.width} * (header.depth / 8);
}

// Unpacks one PackBits row into exactly out.size() bytes, using all of `in`.
bool unpackRow(const uint8_t *in, size_t inBytes, std::vector<uint8_t> &out) {
    size_t read = 0;
    size_t written = 0;
    while (read < inBytes) {
        const uint32_t packet = in[read++];
        if (packet == 128)
            continue;
        const size_t length = packet < 128 ? packet + 1 : 257 - packet;
        const size_t source = packet < 128 ? length : 1;
        if (source > inBytes - read || length > out.size() - written)
            return false;
        for (size_t i = 0; i < length; ++i)
            out[written + i] = in[read + (packet < 128 ? i : 0)];
        read += source;
        written += length;
    }
    return written == out.size();
}

// Puts one stored row of channel c (red, green, blue, alpha) into row y.
void putRow(const PsdHeader &header, size_t c, size_t y, const uint8_t *samples,
            MorvikImage &image) {
    const size_t step = header.depth / 8; // the high byte of a 16-bit sample comes first
    uint8_t *out = rowFromTop(image, y) + (c < 3 ? 2 - c : 3);
    for (size_t x = 0; x < header.width; ++x, out += 4)
        *out = samples[x * step];
}

bool readPlainChannels(ByteReader &reader, const PsdHeader &header, size_t used,
                       MorvikImage &image) {
    const size_t rowSize = storedRowBytes(header);
    const uint8_t *in = takeBytes(reader, uint64_t{header.channels} * header.height * rowSize);
    if (in == nullptr)
        return false;
    for (size_t c = 0; c < used; ++c)
        for (size_t y = 0; y < header.height; ++y, in += rowSize)
            putRow(header, c, y, in, image);
    return true;
}

bool readPackedChannels(ByteReader &reader, const PsdHeader &header, size_t used,
                        MorvikImage &image) {
    const size_t rows = size_t{header.channels} * header.height;
    const uint8_t *counts = takeBytes(reader, uint64_t{rows} * 2);
    if (counts == nullptr)
        return false;
    std::vector<uint8_t> unpacked(storedRowBytes(header), 0);
    for (size_t row = 0; row < rows; ++row) {
        const size_t length = uint32_t{counts[2 * row]} << 8 | counts[2 * row + 1];
        const uint8_t *in = takeBytes(reader, length);
        if (in == nullptr)
            return false;
        const size_t channel = row / header.height;
        if (channel >= used)
            continue; // channels past alpha are only checked to be there
        if (!unpackRow(in, length, unpacked))
            return false;
        putRow(header, channel, row % header.height, unpacked.data(), image);
    }
    return true;
}

// Undoes the blending with white of a partly transparent pixel's colour, as
// colour / alpha + 255 * (1 - 1 / alpha), in single precision; colours that
// were never blended fall outside 0..255 and are clamped.
uint8_t unblend(uint8_t colour, uint8_t alpha) {
    const float a = static_cast<float>(alpha) / 255.0f;
    const float ra = 1.0f / a;
    const float value = static_cast<float>(colour) * ra + 255.0f * (1.0f - ra);
    return value <= 0.0f ? 0 : value >= 255.0f ? 255 : static_cast<uint8_t>(value);
}

void unblendImage(MorvikImage &image) {
    for (size_t i = 0; i < image.pixels.size(); i += 4) {
        const uint8_t alpha = image.pixels[i + 3];
        if (alpha != 0 && alpha != 255)
            for (size_t c = 0; c < 3; ++c)
                image.pixels[i + c] = unblend(image.pixels[i + c], alpha);
    }
}

} // namespace

std::unique_ptr<MorvikImage> loadPsd(const std::vector<uint8_t> &data) {
    ByteReader reader{data, 0};
    PsdHeader header;
    if (!readHeader(reader, header) || header.width < 1 || header.height < 1 ||
        header.width > kMaxSide || header.height > kMaxSide)
        return nullptr;
    const bool packed = header.compression == 1;
    const uint64_t samples = uint64_t{header.width} * header.height * (header.depth / 8);
    if (packed ? samples > bytesLeft(reader) * kMaxSamplesPerFileByte
               : samples * header.channels > bytesLeft(reader))
        return nullptr;
    std::unique_ptr<MorvikImage> image = makeImage(header.width, header.height, 4);
    if (!image)
        return nullptr;
    const size_t used = std::min<size_t>(header.channels, 4);
    if (used == 3)
        makeOpaque(*image);
    const bool read = packed ? readPackedChannels(reader, header, used, *image)
                             : readPlainChannels(reader, header, used, *image);
    if (!read)
        return nullptr;
    if (used == 4)
        unblendImage(*image);
    return image;
}

} // namespace imagemodule
