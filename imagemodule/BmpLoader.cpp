// Reading BMP files: the OS/2 core header and the Windows headers of 40, 56, 108
// and 124 bytes; palettes at 1, 4 and 8 bits, 16 and 32-bit pixels plain or with
// bit fields, 24-bit pixels; rows stored bottom first or, with a negative height,
// top first. Run-length coding and embedded JPEG or PNG data are refused.
#include "ByteReader.hpp"
#include "ImageInternal.hpp"

#include <algorithm>

#include <array>

namespace imagemodule {

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kPlain = 0;
constexpr uint32_t kBitFields = 3;

struct BmpHeader {
    uint32_t headerSize = 0;
    uint32_t pixelOffset = 0;
    int64_t width = 0;
    int64_t height = 0;
    bool topDown = false;
    uint32_t bitsPerPixel = 0;
    uint32_t compression = kPlain;
    uint32_t coloursUsed = 0;
    std::array<uint32_t, 4> masks{}; // red, green, blue, alpha
    // Plain 32-bit pixels carry alpha in their fourth byte, unless it is zero
    // throughout: then the writer left it unused and the picture is opaque.
    bool alphaMayBeUnused = false;
    size_t headersEnd = 0; // where a palette would begin
};

bool readCoreHeader(ByteReader &reader, BmpHeader &header) {
    uint32_t width = 0, height = 0, planes = 0;
    if (!readLe16(reader, width) || !readLe16(reader, height) || !readLe16(reader, planes) ||
        !readLe16(reader, header.bitsPerPixel) || planes != 1)
        return false;
    header.width = width;
    header.height = height;
    return header.bitsPerPixel == 1 || header.bitsPerPixel == 4 || header.bitsPerPixel == 8 ||
           header.bitsPerPixel == 24;
}

bool readMasks(ByteReader &reader, BmpHeader &header, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (!readLe32(reader, header.masks[i]))
            return false;
    return true;
}

// The masks a plain 16 or 32-bit picture implies; the others need none.
void setPlainMasks(BmpHeader &header) {
    if (header.bitsPerPixel == 16) {
        header.masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (header.bitsPerPixel == 32) {
        header.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
        header.alphaMayBeUnused = true;
    }
}

bool readInfoHeader(ByteReader &reader, BmpHeader &header) {
    uint32_t width = 0, height = 0, planes = 0, ignored = 0;
    if (!readLe32(reader, width) || !readLe32(reader, height) || !readLe16(reader, planes) ||
        !readLe16(reader, header.bitsPerPixel) || !readLe32(reader, header.compression) ||
        !readLe32(reader, ignored) || !readLe32(reader, ignored) || !readLe32(reader, ignored) ||
        !readLe32(reader, header.coloursUsed) || !readLe32(reader, ignored) || planes != 1)
        return false;
    header.width = static_cast<int32_t>(width);
    const int64_t signedHeight = static_cast<int32_t>(height);
    header.topDown = signedHeight < 0;
    header.height = header.topDown ? -signedHeight : signedHeight;
    const uint32_t bits = header.bitsPerPixel;
    if (header.compression == kPlain) {
        setPlainMasks(header);
        return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    }
    if (header.compression != kBitFields || (bits != 16 && bits != 32))
        return false;
    // The masks follow a 40-byte header; the larger headers hold them.
    if (header.headerSize == 40) {
        header.headersEnd += 12;
        return readMasks(reader, header, 3);
    }
    return readMasks(reader, header, 4);
}

bool readHeader(ByteReader &reader, BmpHeader &header) {
    uint32_t ignored = 0;
    if (!skipBytes(reader, 2) || !readLe32(reader, ignored) || !readLe32(reader, ignored) ||
        !readLe32(reader, header.pixelOffset) || !readLe32(reader, header.headerSize))
        return false;
    header.headersEnd = kFileHeaderBytes + header.headerSize;
    const uint32_t size = header.headerSize;
    if (size == 12)
        return readCoreHeader(reader, header);
    if (size != 40 && size != 56 && size != 108 && size != 124)
        return false;
    return readInfoHeader(reader, header);
}

// ---------------------------------------------------------------------------
// Bit fields

struct Field {
    uint32_t mask = 0;
    int shift = 0; // of the lowest bit
    int bits = 0;
};

int lowestBit(uint32_t value) {
    int bit = 0;
    while ((value & 1u) == 0) {
        value >>= 1;
        ++bit;
    }
    return bit;
}

// A mask of contiguous bits within the pixel, or nothing.
std::optional<Field> makeField(uint32_t mask, uint32_t bitsPerPixel) {
    if (mask == 0 || (bitsPerPixel < 32 && (mask >> bitsPerPixel) != 0))
        return std::nullopt;
    Field field{mask, lowestBit(mask), 0};
    const uint32_t value = mask >> field.shift;
    if ((value & (value + 1)) != 0)
        return std::nullopt;
    for (uint32_t rest = value; rest != 0; rest >>= 1)
        ++field.bits;
    return field;
}

// The field's value widened (by repeating its bits) or narrowed to 8 bits.
uint8_t fieldValue(const Field &field, uint32_t pixel) {
    static constexpr uint32_t kRepeat[9] = {0, 0xFF, 0x55, 0x49, 0x11, 0x21, 0x41, 0x81, 0x01};
    static constexpr int kShift[9] = {0, 0, 0, 1, 0, 2, 4, 6, 0};
    uint32_t value = (pixel & field.mask) >> field.shift;
    if (field.bits > 8)
        return static_cast<uint8_t>(value >> (field.bits - 8));
    return static_cast<uint8_t>((value * kRepeat[field.bits]) >> kShift[field.bits]);
}

struct Fields {
    std::array<Field, 3> colour; // red, green, blue
    std::optional<Field> alpha;
};

std::optional<Fields> makeFields(const BmpHeader &header) {
    Fields fields;
    for (size_t i = 0; i < 3; ++i) {
        const std::optional<Field> field = makeField(header.masks[i], header.bitsPerPixel);
        if (!field)
            return std::nullopt;
        fields.colour[i] = *field;
    }
    if (header.masks[3] != 0) {
        fields.alpha = makeField(header.masks[3], header.bitsPerPixel);
        if (!fields.alpha)
            return std::nullopt;
    }
    return fields;
}

// ---------------------------------------------------------------------------
// Pixels

uint64_t storedRowBytes(const BmpHeader &header) {
    return (static_cast<uint64_t>(header.width) * header.bitsPerPixel + 31) / 32 * 4;
}

// The pixel data, rows padded to four bytes; the last row's padding may be missing.
const uint8_t *pixelData(const std::vector<uint8_t> &data, const BmpHeader &header) {
    const uint64_t last = (static_cast<uint64_t>(header.width) * header.bitsPerPixel + 7) / 8;
    const uint64_t needed =
        storedRowBytes(header) * static_cast<uint64_t>(header.height - 1) + last;
    ByteReader reader{data, header.pixelOffset};
    if (header.pixelOffset < header.headersEnd || header.pixelOffset > data.size())
        return nullptr;
    return takeBytes(reader, needed);
}

uint8_t *outputRow(MorvikImage &image, const BmpHeader &header, size_t storedRow) {
    const size_t height = static_cast<size_t>(header.height);
    return rowFromTop(image, header.topDown ? storedRow : height - 1 - storedRow);
}

// Palette entries as blue, green, red; nothing when the palette does not fit
// between the headers and the pixels or disagrees with the header.
std::optional<std::vector<uint8_t>> readPalette(const std::vector<uint8_t> &data,
                                                const BmpHeader &header) {
    const size_t entryBytes = header.headerSize == 12 ? 3 : 4;
    const uint32_t most = 1u << header.bitsPerPixel;
    if (header.pixelOffset < header.headersEnd || header.coloursUsed > most)
        return std::nullopt;
    const size_t room = (header.pixelOffset - header.headersEnd) / entryBytes;
    size_t entries = header.coloursUsed != 0 ? header.coloursUsed : most;
    // Without a count the palette is as long as the room left for it.
    if (header.coloursUsed == 0)
        entries = std::min(entries, room);
    if (entries == 0 || entries > room)
        return std::nullopt;
    ByteReader reader{data, header.headersEnd};
    const uint8_t *stored = takeBytes(reader, entries * entryBytes);
    if (stored == nullptr)
        return std::nullopt;
    std::vector<uint8_t> palette(entries * 3, 0);
    for (size_t i = 0; i < entries; ++i)
        std::copy_n(stored + i * entryBytes, 3, palette.begin() + static_cast<long>(i * 3));
    return palette;
}

bool decodeIndexed(const std::vector<uint8_t> &data, const BmpHeader &header, MorvikImage &image) {
    const std::optional<std::vector<uint8_t>> palette = readPalette(data, header);
    const uint8_t *pixels = pixelData(data, header);
    if (!palette || pixels == nullptr)
        return false;
    const size_t entries = palette->size() / 3;
    const uint32_t bits = header.bitsPerPixel;
    const uint32_t perByte = 8 / bits;
    const uint32_t indexMask = (1u << bits) - 1;
    for (size_t row = 0; row < static_cast<size_t>(header.height); ++row) {
        const uint8_t *in = pixels + row * storedRowBytes(header);
        uint8_t *out = outputRow(image, header, row);
        for (size_t x = 0; x < static_cast<size_t>(header.width); ++x, out += 3) {
            const uint32_t shift = 8 - bits * (static_cast<uint32_t>(x % perByte) + 1);
            const size_t index = (in[x / perByte] >> shift) & indexMask;
            if (index >= entries)
                return false;
            std::copy_n(palette->begin() + static_cast<long>(index * 3), 3, out);
        }
    }
    return true;
}

void decodeBgr(const uint8_t *pixels, const BmpHeader &header, MorvikImage &image) {
    const size_t bytes = static_cast<size_t>(header.width) * 3;
    for (size_t row = 0; row < static_cast<size_t>(header.height); ++row)
        std::copy_n(pixels + row * storedRowBytes(header), bytes, outputRow(image, header, row));
}

uint32_t storedPixel(const uint8_t *in, uint32_t bitsPerPixel) {
    uint32_t value = in[0] | uint32_t{in[1]} << 8;
    if (bitsPerPixel == 32)
        value |= uint32_t{in[2]} << 16 | uint32_t{in[3]} << 24;
    return value;
}

// Returns whether any pixel had a nonzero alpha.
bool decodeFields(const uint8_t *pixels, const BmpHeader &header, const Fields &fields,
                  MorvikImage &image) {
    const size_t channels = fields.alpha ? 4 : 3;
    const size_t pixelSize = header.bitsPerPixel / 8;
    bool anyAlpha = false;
    for (size_t row = 0; row < static_cast<size_t>(header.height); ++row) {
        const uint8_t *in = pixels + row * storedRowBytes(header);
        uint8_t *out = outputRow(image, header, row);
        for (size_t x = 0; x < static_cast<size_t>(header.width); ++x, out += channels) {
            const uint32_t pixel = storedPixel(in + x * pixelSize, header.bitsPerPixel);
            for (size_t c = 0; c < 3; ++c)
                out[2 - c] = fieldValue(fields.colour[c], pixel);
            if (fields.alpha) {
                out[3] = fieldValue(*fields.alpha, pixel);
                anyAlpha = anyAlpha || out[3] != 0;
            }
        }
    }
    return anyAlpha;
}

bool decodeDirect(const std::vector<uint8_t> &data, const BmpHeader &header, MorvikImage &image) {
    const uint8_t *pixels = pixelData(data, header);
    if (pixels == nullptr)
        return false;
    if (header.bitsPerPixel == 24) {
        decodeBgr(pixels, header, image);
        return true;
    }
    const std::optional<Fields> fields = makeFields(header);
    if (!fields || (image.bitsPerPixel == 32) != fields->alpha.has_value())
        return false;
    if (!decodeFields(pixels, header, *fields, image) && header.alphaMayBeUnused)
        makeOpaque(image);
    return true;
}

} // namespace

std::unique_ptr<MorvikImage> loadBmp(const std::vector<uint8_t> &data) {
    ByteReader reader{data, 0};
    BmpHeader header;
    if (!readHeader(reader, header) || header.width < 1 || header.height < 1 ||
        header.width > kMaxSide || header.height > kMaxSide)
        return nullptr;
    // Nothing is allocated for pixels the file does not hold.
    if (pixelData(data, header) == nullptr)
        return nullptr;
    const bool indexed = header.bitsPerPixel <= 8;
    const bool alpha = !indexed && header.masks[3] != 0;
    std::unique_ptr<MorvikImage> image = makeImage(header.width, header.height, alpha ? 4 : 3);
    if (!image)
        return nullptr;
    const bool decoded =
        indexed ? decodeIndexed(data, header, *image) : decodeDirect(data, header, *image);
    return decoded ? std::move(image) : nullptr;
}

} // namespace imagemodule
