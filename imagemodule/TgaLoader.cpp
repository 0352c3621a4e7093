// Reading TGA files: colour-mapped (8 or 16-bit indexes into a map of grey,
// 15/16, 24 or 32-bit entries), true colour at 15/16, 24 and 32 bits, and grey
// at 8 bits or with alpha at 16, each plain or run-length coded. 15 and 16-bit
// colours ignore their top bit; 32-bit pixels and grey with alpha keep alpha.
#include "ByteReader.hpp"
#include "ImageInternal.hpp"

#include <algorithm>

namespace imagemodule {

namespace {

// A run-length packet of one byte and one pixel stands for up to 128 pixels.
constexpr uint64_t kMaxPixelsPerFileByte = 128;

enum class Kind { Grey, GreyAlpha, Rgb16, Bgr, Bgra };

struct TgaHeader {
    uint32_t idLength = 0;
    uint32_t mapType = 0;
    uint32_t imageType = 0;
    uint32_t mapFirst = 0;
    uint32_t mapLength = 0;
    uint32_t mapEntryBits = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0;
    uint32_t descriptor = 0;
};

bool readHeader(ByteReader &reader, TgaHeader &header) {
    uint32_t origin = 0;
    return readU8(reader, header.idLength) && readU8(reader, header.mapType) &&
           readU8(reader, header.imageType) && readLe16(reader, header.mapFirst) &&
           readLe16(reader, header.mapLength) && readU8(reader, header.mapEntryBits) &&
           readLe16(reader, origin) && readLe16(reader, origin) && readLe16(reader, header.width) &&
           readLe16(reader, header.height) && readU8(reader, header.bitsPerPixel) &&
           readU8(reader, header.descriptor);
}

// The layout of a stored value of the given bits, or nothing.
std::optional<Kind> colourKind(uint32_t bits, bool grey) {
    if (grey)
        return bits == 8    ? std::optional(Kind::Grey)
               : bits == 16 ? std::optional(Kind::GreyAlpha)
                            : std::nullopt;
    switch (bits) {
    case 15:
    case 16:
        return Kind::Rgb16;
    case 24:
        return Kind::Bgr;
    case 32:
        return Kind::Bgra;
    default:
        return std::nullopt;
    }
}

size_t channelsOf(Kind kind) {
    return kind == Kind::Bgra || kind == Kind::GreyAlpha ? 4 : 3;
}

size_t storedBytes(uint32_t bits) {
    return (bits + 7) / 8;
}

// One stored value as blue, green, red(, alpha).
void convert(Kind kind, const uint8_t *in, uint8_t *out) {
    switch (kind) {
    case Kind::Grey:
        out[0] = out[1] = out[2] = in[0];
        break;
    case Kind::GreyAlpha:
        out[0] = out[1] = out[2] = in[0];
        out[3] = in[1];
        break;
    case Kind::Rgb16: {
        const uint32_t value = in[0] | uint32_t{in[1]} << 8;
        for (size_t c = 0; c < 3; ++c)
            out[c] = static_cast<uint8_t>(((value >> (5 * c)) & 31) * 255 / 31);
        break;
    }
    case Kind::Bgr:
        std::copy_n(in, 3, out);
        break;
    case Kind::Bgra:
        std::copy_n(in, 4, out);
        break;
    }
}

struct TgaLayout {
    bool mapped = false;
    bool runLength = false;
    Kind kind = Kind::Bgr;    // of the pixels, or of the map's entries
    size_t pixelBytes = 0;    // stored bytes a pixel (an index when mapped)
    std::vector<uint8_t> map; // converted entries, channels bytes each
};

std::optional<TgaLayout> layoutOf(const TgaHeader &header) {
    const uint32_t type = header.imageType & 7;
    TgaLayout layout;
    layout.mapped = type == 1;
    layout.runLength = (header.imageType & 8) != 0;
    if ((header.imageType & ~11u) != 0 || type < 1 || type > 3 ||
        header.mapType != (layout.mapped ? 1u : 0u) || (header.descriptor & 0xC0) != 0)
        return std::nullopt;
    std::optional<Kind> kind;
    if (layout.mapped) {
        if (header.bitsPerPixel != 8 && header.bitsPerPixel != 16)
            return std::nullopt;
        kind = colourKind(header.mapEntryBits, header.mapEntryBits == 8);
    } else {
        kind = colourKind(header.bitsPerPixel, type == 3);
    }
    if (!kind)
        return std::nullopt;
    layout.kind = *kind;
    layout.pixelBytes = storedBytes(header.bitsPerPixel);
    return layout;
}

bool readMap(ByteReader &reader, const TgaHeader &header, TgaLayout &layout) {
    if (!layout.mapped)
        return true;
    const size_t entryBytes = storedBytes(header.mapEntryBits);
    const size_t channels = channelsOf(layout.kind);
    const uint8_t *entries = takeBytes(reader, uint64_t{header.mapLength} * entryBytes);
    if (entries == nullptr || header.mapLength == 0)
        return false;
    layout.map.assign(size_t{header.mapLength} * channels, 0);
    for (size_t i = 0; i < header.mapLength; ++i)
        convert(layout.kind, entries + i * entryBytes, &layout.map[i * channels]);
    return true;
}

// Writes the pixel stored at `in` to `out`; false for an index outside the map.
bool storePixel(const TgaHeader &header, const TgaLayout &layout, const uint8_t *in, uint8_t *out) {
    if (!layout.mapped) {
        convert(layout.kind, in, out);
        return true;
    }
    const uint32_t index = layout.pixelBytes == 2 ? in[0] | uint32_t{in[1]} << 8 : in[0];
    if (index < header.mapFirst || index - header.mapFirst >= header.mapLength)
        return false;
    const size_t channels = channelsOf(layout.kind);
    std::copy_n(&layout.map[(index - header.mapFirst) * channels], channels, out);
    return true;
}

// Where the n-th stored pixel goes: rows bottom first unless the origin is at
// the top, columns left first unless they run right to left.
uint8_t *pixelOut(const TgaHeader &header, MorvikImage &image, size_t n) {
    const size_t width = header.width;
    const size_t row = n / width;
    const size_t column = n % width;
    const size_t y = (header.descriptor & 0x20) != 0 ? row : header.height - 1 - row;
    const size_t x = (header.descriptor & 0x10) != 0 ? width - 1 - column : column;
    return rowFromTop(image, y) + x * (static_cast<size_t>(image.bitsPerPixel) / 8);
}

bool decodePlain(ByteReader &reader, const TgaHeader &header, const TgaLayout &layout,
                 MorvikImage &image) {
    const size_t count = size_t{header.width} * header.height;
    const uint8_t *in = takeBytes(reader, count * layout.pixelBytes);
    if (in == nullptr)
        return false;
    for (size_t n = 0; n < count; ++n)
        if (!storePixel(header, layout, in + n * layout.pixelBytes, pixelOut(header, image, n)))
            return false;
    return true;
}

// Packets may run on from one row to the next, never past the last pixel.
bool decodeRunLength(ByteReader &reader, const TgaHeader &header, const TgaLayout &layout,
                     MorvikImage &image) {
    const size_t count = size_t{header.width} * header.height;
    const size_t pixelSize = static_cast<size_t>(image.bitsPerPixel) / 8;
    size_t n = 0;
    while (n < count) {
        uint32_t packet = 0;
        if (!readU8(reader, packet))
            return false;
        const size_t length = (packet & 0x7F) + 1;
        const bool repeat = (packet & 0x80) != 0;
        const uint8_t *in = takeBytes(reader, (repeat ? 1 : length) * layout.pixelBytes);
        if (in == nullptr || length > count - n)
            return false;
        for (size_t i = 0; i < length; ++i, ++n) {
            uint8_t *out = pixelOut(header, image, n);
            if (repeat && i > 0)
                std::copy_n(pixelOut(header, image, n - i), pixelSize, out);
            else if (!storePixel(header, layout, in + i * layout.pixelBytes, out))
                return false;
        }
    }
    return true;
}

} // namespace

std::unique_ptr<MorvikImage> loadTga(const std::vector<uint8_t> &data) {
    ByteReader reader{data, 0};
    TgaHeader header;
    if (!readHeader(reader, header) || header.width == 0 || header.height == 0)
        return nullptr;
    std::optional<TgaLayout> layout = layoutOf(header);
    if (!layout || !skipBytes(reader, header.idLength) || !readMap(reader, header, *layout))
        return nullptr;
    const uint64_t pixels = uint64_t{header.width} * header.height;
    const bool fits = layout->runLength ? fileCouldHold(header.width, header.height,
                                                        bytesLeft(reader), kMaxPixelsPerFileByte)
                                        : pixels * layout->pixelBytes <= bytesLeft(reader);
    if (!fits)
        return nullptr;
    std::unique_ptr<MorvikImage> image =
        makeImage(header.width, header.height, static_cast<int>(channelsOf(layout->kind)));
    if (!image)
        return nullptr;
    const bool decoded = layout->runLength ? decodeRunLength(reader, header, *layout, *image)
                                           : decodePlain(reader, header, *layout, *image);
    return decoded ? std::move(image) : nullptr;
}

} // namespace imagemodule
