// A quick reader for the plain PNG files most pictures are: one inflate of the
// joined image data with libdeflate, then the row filters. It takes only files
// whose every byte it understands the way libpng does (no interlacing, 8-bit
// samples or palette indexes, nothing unusual in the chunk sequence) and
// returns null for anything else, which libpng then reads.
#include "ImageInternal.hpp"

#include <libdeflate.h>

#include <array>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <new>

namespace imagemodule {

namespace {

constexpr size_t kSignatureBytes = 8;
constexpr uint32_t kMaxChunkBytes = uint32_t{8} << 20; // as the libpng reader allows
constexpr uint64_t kMaxDeflateRatio = 1032;

constexpr int kColourGrey = 0;
constexpr int kColourRgb = 2;
constexpr int kColourPalette = 3;
constexpr int kColourGreyAlpha = 4;
constexpr int kColourRgba = 6;

struct Header {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 0;
    int colourType = 0;
};

struct Chunk {
    std::array<char, 4> type{};
    const uint8_t *data = nullptr;
    uint32_t length = 0;
};

struct ChunkScan {
    Header header;
    const uint8_t *palette = nullptr;
    uint32_t paletteBytes = 0;
    std::vector<Chunk> imageData;
};

uint32_t readBe32(const uint8_t *bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

bool isType(const Chunk &chunk, const char *type) {
    return std::memcmp(chunk.type.data(), type, 4) == 0;
}

bool isLetter(uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The chunk at `offset`, its length, name and CRC checked; false otherwise.
bool readChunk(const std::vector<uint8_t> &file, size_t &offset, Chunk &chunk) {
    if (file.size() - offset < 12)
        return false;
    const uint8_t *start = file.data() + offset;
    chunk.length = readBe32(start);
    if (chunk.length > kMaxChunkBytes || file.size() - offset - 12 < chunk.length)
        return false;
    for (size_t i = 0; i < 4; ++i) {
        if (!isLetter(start[4 + i]))
            return false;
        chunk.type[i] = static_cast<char>(start[4 + i]);
    }
    chunk.data = start + 8;
    const uint32_t crc = static_cast<uint32_t>(libdeflate_crc32(0, start + 4, 4 + chunk.length));
    if (crc != readBe32(start + 8 + chunk.length))
        return false;
    offset += 12 + size_t{chunk.length};
    return true;
}

// Sample layouts this reader handles: palette indexes of any depth, and
// 8-bit grey, grey-alpha, RGB and RGBA; no interlacing.
bool readHeader(const Chunk &chunk, Header &header) {
    if (!isType(chunk, "IHDR") || chunk.length != 13)
        return false;
    const uint8_t *d = chunk.data;
    header = {readBe32(d), readBe32(d + 4), d[8], d[9]};
    if (header.width < 1 || header.height < 1 || header.width > kMaxSide ||
        header.height > kMaxSide || d[10] != 0 || d[11] != 0 || d[12] != 0)
        return false;
    if (header.colourType == kColourPalette)
        return header.bitDepth == 1 || header.bitDepth == 2 || header.bitDepth == 4 ||
               header.bitDepth == 8;
    const int t = header.colourType;
    return header.bitDepth == 8 &&
           (t == kColourGrey || t == kColourRgb || t == kColourGreyAlpha || t == kColourRgba);
}

bool isCritical(const Chunk &chunk) {
    return chunk.type[0] >= 'A' && chunk.type[0] <= 'Z';
}

// One step of the chunk sequence; false for anything this reader leaves to
// libpng (unknown critical chunks, a palette where none belongs or after the
// image data, image data in pieces that are not consecutive).
bool takeChunk(const Chunk &chunk, ChunkScan &scan, bool &dataEnded) {
    if (isType(chunk, "IDAT")) {
        if (dataEnded)
            return false;
        scan.imageData.push_back(chunk);
        return true;
    }
    if (!scan.imageData.empty())
        dataEnded = true;
    if (isType(chunk, "PLTE")) {
        if (scan.palette != nullptr || dataEnded || scan.header.colourType != kColourPalette ||
            chunk.length == 0 || chunk.length % 3 != 0 ||
            chunk.length / 3 > (1u << scan.header.bitDepth))
            return false;
        scan.palette = chunk.data;
        scan.paletteBytes = chunk.length;
        return true;
    }
    return !isCritical(chunk);
}

bool scanChunks(const std::vector<uint8_t> &file, ChunkScan &scan) {
    size_t offset = kSignatureBytes;
    Chunk chunk;
    if (!readChunk(file, offset, chunk) || !readHeader(chunk, scan.header))
        return false;
    bool dataEnded = false;
    while (readChunk(file, offset, chunk)) {
        if (isType(chunk, "IEND"))
            return chunk.length == 0 && !scan.imageData.empty() &&
                   (scan.header.colourType != kColourPalette || scan.palette != nullptr);
        if (!takeChunk(chunk, scan, dataEnded))
            return false;
    }
    return false;
}

int channelsOf(int colourType) {
    switch (colourType) {
    case kColourRgb:
        return 3;
    case kColourGreyAlpha:
        return 2;
    case kColourRgba:
        return 4;
    default:
        return 1;
    }
}

struct Layout {
    size_t rowBytes = 0;    // one filtered row's samples
    size_t filterStep = 0;  // bytes per complete pixel, at least 1
    int outputChannels = 0; // 1 (indexes), 3 (BGR) or 4 (BGRA)
};

Layout layoutOf(const Header &h) {
    const size_t bits = size_t{h.width} * static_cast<size_t>(channelsOf(h.colourType)) *
                        static_cast<size_t>(h.bitDepth);
    const int channels = channelsOf(h.colourType);
    const int output = h.colourType == kColourPalette ? 1 : (channels % 2 == 0 ? 4 : 3);
    return {(bits + 7) / 8, static_cast<size_t>(channels), output};
}

struct DecompressorRelease {
    void operator()(libdeflate_decompressor *d) const { libdeflate_free_decompressor(d); }
};

// The image data inflated, exactly `size` bytes and no input left over.
bool inflateImageData(const ChunkScan &scan, std::vector<uint8_t> &out) {
    std::vector<uint8_t> joined;
    const uint8_t *input = scan.imageData[0].data;
    size_t inputBytes = scan.imageData[0].length;
    if (scan.imageData.size() > 1) {
        for (const Chunk &chunk : scan.imageData)
            joined.insert(joined.end(), chunk.data, chunk.data + chunk.length);
        input = joined.data();
        inputBytes = joined.size();
    }
    std::unique_ptr<libdeflate_decompressor, DecompressorRelease> decompressor(
        libdeflate_alloc_decompressor());
    if (!decompressor)
        return false;
    size_t used = 0;
    size_t made = 0;
    const libdeflate_result result = libdeflate_zlib_decompress_ex(
        decompressor.get(), input, inputBytes, out.data(), out.size(), &used, &made);
    return result == LIBDEFLATE_SUCCESS && used == inputBytes && made == out.size();
}

// With p = a + b - c: |p - a| = |b - c|, |p - b| = |a - c|, |p - c| = |a + b - 2c|.
// Written as selects, since the choice follows the picture and is hard to predict.
uint8_t paeth(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    const int bOrC = pb <= pc ? b : c;
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : bOrC);
}

// The filters that read the pixel to the left (1 Sub, 3 Average, 4 Paeth), for
// a pixel of Step bytes: the left and upper-left pixels stay in registers
// instead of being read back from the row just written, which would chain
// every byte on a store.
template <size_t Step, int Filter>
void unfilterLeftward(uint8_t *row, const uint8_t *above, size_t length) {
    std::array<int, Step> left{};
    std::array<int, Step> upperLeft{};
    for (size_t i = 0; i + Step <= length; i += Step)
        for (size_t k = 0; k < Step; ++k) {
            const int up = above[i + k];
            int add = left[k];
            if constexpr (Filter == 3)
                add = (left[k] + up) >> 1;
            if constexpr (Filter == 4)
                add = paeth(left[k], up, upperLeft[k]);
            left[k] = static_cast<uint8_t>(row[i + k] + add);
            row[i + k] = static_cast<uint8_t>(left[k]);
            upperLeft[k] = up;
        }
}

template <size_t Step>
void unfilterLeftward(uint8_t filter, uint8_t *row, const uint8_t *above, size_t length) {
    if (filter == 1)
        unfilterLeftward<Step, 1>(row, above, length);
    else if (filter == 3)
        unfilterLeftward<Step, 3>(row, above, length);
    else
        unfilterLeftward<Step, 4>(row, above, length);
}

bool unfilterRowGeneric(uint8_t filter, uint8_t *row, const uint8_t *above, size_t length,
                        size_t step);

// Undoes one row's filter in place; `above` is the row before, already undone.
bool unfilterRow(uint8_t filter, uint8_t *row, const uint8_t *above, size_t length, size_t step) {
    const bool leftward = filter == 1 || filter == 3 || filter == 4;
    if (leftward && step >= 1 && step <= 4 && length % step == 0) {
        if (step == 1)
            unfilterLeftward<1>(filter, row, above, length);
        else if (step == 2)
            unfilterLeftward<2>(filter, row, above, length);
        else if (step == 3)
            unfilterLeftward<3>(filter, row, above, length);
        else
            unfilterLeftward<4>(filter, row, above, length);
        return true;
    }
    return unfilterRowGeneric(filter, row, above, length, step);
}

bool unfilterRowGeneric(uint8_t filter, uint8_t *row, const uint8_t *above, size_t length,
                        size_t step) {
    switch (filter) {
    case 0:
        return true;
    case 1:
        for (size_t i = step; i < length; ++i)
            row[i] = static_cast<uint8_t>(row[i] + row[i - step]);
        return true;
    case 2:
        for (size_t i = 0; i < length; ++i)
            row[i] = static_cast<uint8_t>(row[i] + above[i]);
        return true;
    case 3:
        for (size_t i = 0; i < length; ++i) {
            const int left = i >= step ? row[i - step] : 0;
            row[i] = static_cast<uint8_t>(row[i] + ((left + above[i]) >> 1));
        }
        return true;
    case 4:
        for (size_t i = 0; i < step && i < length; ++i)
            row[i] = static_cast<uint8_t>(row[i] + above[i]);
        for (size_t i = step; i < length; ++i)
            row[i] = static_cast<uint8_t>(row[i] + paeth(row[i - step], above[i], above[i - step]));
        return true;
    default:
        return false;
    }
}

// Each packed byte's pixels, leftmost first, for depth 1, 2 or 4.
struct UnpackTable {
    std::array<std::array<uint8_t, 8>, 256> pixels{};
};

UnpackTable makeUnpackTable(int depth) {
    UnpackTable table;
    const int perByte = 8 / depth;
    const int mask = (1 << depth) - 1;
    for (int byte = 0; byte < 256; ++byte)
        for (int k = 0; k < perByte; ++k)
            table.pixels[static_cast<size_t>(byte)][static_cast<size_t>(k)] =
                static_cast<uint8_t>((byte >> (8 - depth * (k + 1))) & mask);
    return table;
}

// The whole bytes of a row; a copy of constant size is a single store.
template <size_t PerByte>
void unpackWholeBytes(const UnpackTable &table, const uint8_t *row, uint8_t *out, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i)
        std::memcpy(out + i * PerByte, table.pixels[row[i]].data(), PerByte);
}

// Packed indexes of 1, 2 or 4 bits, leftmost pixel in the high bits.
void unpackIndexes(const uint8_t *row, uint8_t *out, uint32_t width, int depth) {
    static const std::array<UnpackTable, 3> tables = {makeUnpackTable(1), makeUnpackTable(2),
                                                      makeUnpackTable(4)};
    const UnpackTable &table = tables[depth == 1 ? 0 : depth == 2 ? 1 : 2];
    const size_t perByte = static_cast<size_t>(8 / depth);
    const size_t whole = width / perByte;
    if (depth == 1)
        unpackWholeBytes<8>(table, row, out, whole);
    else if (depth == 2)
        unpackWholeBytes<4>(table, row, out, whole);
    else
        unpackWholeBytes<2>(table, row, out, whole);
    const size_t rest = width - whole * perByte;
    if (rest != 0)
        std::memcpy(out + whole * perByte, table.pixels[row[whole]].data(), rest);
}

// Red and blue swapped in pixels of `Size` bytes (3 or 4), scalar.
template <size_t Size> void swapRedBlue(const uint8_t *row, uint8_t *out, size_t width) {
    for (size_t x = 0; x < width; ++x) {
        out[Size * x] = row[Size * x + 2];
        out[Size * x + 1] = row[Size * x + 1];
        out[Size * x + 2] = row[Size * x];
        if constexpr (Size == 4)
            out[Size * x + 3] = row[Size * x + 3];
    }
}

#if defined(__x86_64__)
// The same by byte shuffles: 16 bytes a step, of which the whole pixels are
// kept (15 bytes of 3-byte pixels: the 16th is written again by the next step).
template <size_t Size>
__attribute__((target("ssse3"))) void shuffleRedBlue(const uint8_t *row, uint8_t *out,
                                                     size_t width) {
    const __m128i order = Size == 3 ? _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13,
                                                    12, 15)
                                    : _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13,
                                                    12, 15);
    constexpr size_t kPixels = 16 / Size;
    size_t x = 0;
    for (; (x + kPixels) * Size + (16 - kPixels * Size) <= width * Size; x += kPixels) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + x * Size));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x * Size),
                         _mm_shuffle_epi8(pixels, order));
    }
    swapRedBlue<Size>(row + x * Size, out + x * Size, width - x);
}
#endif

template <size_t Size> void convertRedBlue(const uint8_t *row, uint8_t *out, size_t width) {
#if defined(__x86_64__)
    if (__builtin_cpu_supports("ssse3")) {
        shuffleRedBlue<Size>(row, out, width);
        return;
    }
#endif
    swapRedBlue<Size>(row, out, width);
}

// One row in the module's layout: indexes, blue-green-red, or blue-green-red-alpha.
void convertRow(const Header &h, const uint8_t *row, uint8_t *out) {
    const size_t width = h.width;
    switch (h.colourType) {
    case kColourPalette:
        if (h.bitDepth == 8)
            std::memcpy(out, row, width);
        else
            unpackIndexes(row, out, h.width, h.bitDepth);
        return;
    case kColourGrey:
        for (size_t x = 0; x < width; ++x)
            out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = row[x];
        return;
    case kColourGreyAlpha:
        for (size_t x = 0; x < width; ++x) {
            out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = row[2 * x];
            out[4 * x + 3] = row[2 * x + 1];
        }
        return;
    case kColourRgb:
        convertRedBlue<3>(row, out, width);
        return;
    default:
        convertRedBlue<4>(row, out, width);
    }
}

// Unfilters the inflated rows in place and stores them bottom row first.
bool storeRows(const Header &h, const Layout &layout, std::vector<uint8_t> &filtered,
               MorvikImage &image) {
    const std::vector<uint8_t> blankRow(layout.rowBytes, 0);
    const uint8_t *above = blankRow.data();
    const size_t stride = rowBytes(image);
    for (size_t y = 0; y < h.height; ++y) {
        uint8_t *line = filtered.data() + y * (layout.rowBytes + 1);
        if (!unfilterRow(line[0], line + 1, above, layout.rowBytes, layout.filterStep))
            return false;
        convertRow(h, line + 1, image.pixels.data() + (h.height - 1 - y) * stride);
        above = line + 1;
    }
    return true;
}

// True when a converted row is never longer than its filtered form (8-bit
// palette, RGB and RGBA rows), so the rows can be converted where they lie.
bool convertsInPlace(const Header &h, const Layout &layout) {
    return h.bitDepth == 8 && layout.rowBytes == h.width * static_cast<size_t>(layout.outputChannels) &&
           (h.colourType == kColourPalette || h.colourType == kColourRgb ||
            h.colourType == kColourRgba);
}

// Unfilters and converts inside the inflated data, top row first, then turns
// the rows over; the picture then keeps that memory, so the inflated data and
// the pixels are never held at once. Converted row y ends before row y + 1's
// filtered bytes begin, and the unfiltered row is read from a copy.
bool storeRowsInPlace(const Header &h, const Layout &layout, std::vector<uint8_t> &data) {
    const size_t length = layout.rowBytes;
    std::vector<uint8_t> above(length, 0);
    for (size_t y = 0; y < h.height; ++y) {
        uint8_t *line = data.data() + y * (length + 1);
        if (!unfilterRow(line[0], line + 1, above.data(), length, layout.filterStep))
            return false;
        std::memcpy(above.data(), line + 1, length);
        convertRow(h, above.data(), data.data() + y * length);
    }
    data.resize(length * h.height);
    std::vector<uint8_t> spare(length, 0);
    for (size_t top = 0, bottom = h.height - 1; top < bottom; ++top, --bottom) {
        uint8_t *upper = data.data() + top * length;
        uint8_t *lower = data.data() + bottom * length;
        std::memcpy(spare.data(), upper, length);
        std::memcpy(upper, lower, length);
        std::memcpy(lower, spare.data(), length);
    }
    return true;
}

void copyPalette(const ChunkScan &scan, MorvikImage &image) {
    image.palette = blankPalette();
    const size_t entries = scan.paletteBytes / 3;
    for (size_t i = 0; i < entries; ++i) {
        image.palette[4 * i] = scan.palette[3 * i + 2];
        image.palette[4 * i + 1] = scan.palette[3 * i + 1];
        image.palette[4 * i + 2] = scan.palette[3 * i];
    }
    image.paletteEntries = static_cast<int32_t>(entries);
}

std::unique_ptr<MorvikImage> decodeWholePng(const std::vector<uint8_t> &file) {
    ChunkScan scan;
    if (!hasPngSignature(file) || !scanChunks(file, scan))
        return nullptr;
    const Header &h = scan.header;
    const Layout layout = layoutOf(h);
    const std::optional<size_t> bytes = pixelBytes(h.width, h.height, layout.outputChannels);
    const uint64_t sampleBits =
        uint64_t{h.width} * h.height * static_cast<uint64_t>(channelsOf(h.colourType) * h.bitDepth);
    if (!bytes || sampleBits / 8 > uint64_t{file.size()} * kMaxDeflateRatio)
        return nullptr;
    std::vector<uint8_t> filtered((layout.rowBytes + 1) * h.height, 0);
    if (!inflateImageData(scan, filtered))
        return nullptr;
    auto image = std::make_unique<MorvikImage>();
    image->width = static_cast<int32_t>(h.width);
    image->height = static_cast<int32_t>(h.height);
    image->bitsPerPixel = layout.outputChannels * 8;
    if (convertsInPlace(h, layout)) {
        if (!storeRowsInPlace(h, layout, filtered))
            return nullptr;
        image->pixels = std::move(filtered);
    } else {
        image->pixels.assign(*bytes, 0);
        if (!storeRows(h, layout, filtered, *image))
            return nullptr;
    }
    if (h.colourType == kColourPalette)
        copyPalette(scan, *image);
    if (!indexesWithinPalette(*image))
        return nullptr; // libpng refuses it with its reason
    return image;
}

} // namespace

std::unique_ptr<MorvikImage> loadPngQuickly(const std::vector<uint8_t> &file) {
    try {
        return decodeWholePng(file);
    } catch (const std::bad_alloc &) {
        return nullptr; // libpng, reading row by row, needs less memory and may still succeed
    }
}

} // namespace imagemodule
