#include "tiles/TileEncoder.hpp"

#include <array>
#include <cstdint>
#include <new>
#include <stdexcept>

namespace {

constexpr size_t kSpareBytes = 4096; // kept beyond the pattern data of tiled layouts
constexpr size_t kTileRows = kTileSide;
constexpr size_t kPackedSlotBytes = 32;
constexpr int32_t kMaxTilePlanes = 8;
constexpr int32_t kIndexBits = 8;
constexpr int32_t kDirectBits = 16;
constexpr uint64_t kLowBitOfEachByte = 0x0101010101010101u;
constexpr uint64_t kGatherBitsMultiplier = 0x8040201008040201u;

// The eight mapped values of a tile row, pixel x in byte x.
using PackedRow = uint64_t;

struct SeenIndices {
    std::array<bool, 256> seen{};
};

void recordIndex(SeenIndices &seen, std::vector<uint8_t> &used, uint8_t raw) {
    if (!seen.seen[raw]) {
        seen.seen[raw] = true;
        used.push_back(raw);
    }
}

bool sizeProduct(size_t a, size_t b, size_t &product) {
    if (a != 0 && b > SIZE_MAX / a)
        return false;
    product = a * b;
    return true;
}

// Throws std::bad_alloc when the memory cannot be had.
void allocateBuffer(PatternBuffer &out, size_t length, size_t spare) {
    if (length > SIZE_MAX - spare)
        throw std::bad_alloc();
    out.bytes.assign(length + spare, 0);
    out.length = length;
}

uint8_t valueOf(PackedRow row, int32_t x) {
    return static_cast<uint8_t>(row >> (8 * x));
}

// Bit 7 - x of the result is bit `plane` of pixel x.
uint8_t planeByte(PackedRow row, int32_t plane) {
    const uint64_t bits = (row >> plane) & kLowBitOfEachByte;
    // The multiply moves the bit of byte x to bit 63 - x; no two partial
    // products meet, so nothing carries into the top byte.
    return static_cast<uint8_t>((bits * kGatherBitsMultiplier) >> 56);
}

// Offset of plane byte k of row r of tile t when planes are stored in pairs;
// a last plane without a partner gets one byte per row after the pairs.
size_t pairsOffset(size_t t, size_t r, int32_t plane, int32_t planeCount) {
    const auto planes = static_cast<size_t>(planeCount);
    const auto k = static_cast<size_t>(plane);
    const size_t paired = planes - planes % 2;
    if (k < paired)
        return (planes * t + k - k % 2) * kTileRows + r * 2 + k % 2;
    return (planes * t + k) * kTileRows + r;
}

struct TileJob {
    const WorkImage &image;
    PatternLayout layout;
    int32_t planeCount;
    const PixelMapping &mapping;
    PatternBuffer &out;
    SeenIndices seen;
};

void storeRow(TileJob &job, size_t t, size_t r, PackedRow row) {
    std::vector<uint8_t> &bytes = job.out.bytes;
    const auto planes = static_cast<size_t>(job.planeCount);
    switch (job.layout) {
    case PatternLayout::Interleaved:
        for (int32_t k = 0; k < job.planeCount; ++k)
            bytes[(t * kTileRows + r) * planes + static_cast<size_t>(k)] = planeByte(row, k);
        break;
    case PatternLayout::Pairs:
        for (int32_t k = 0; k < job.planeCount; ++k)
            bytes[pairsOffset(t, r, k, job.planeCount)] = planeByte(row, k);
        break;
    case PatternLayout::Packed4:
        for (size_t i = 0; i < kPackedSlotBytes / kTileRows; ++i) {
            const auto x = static_cast<int32_t>(2 * i);
            const auto high = static_cast<uint8_t>(valueOf(row, x) << 4);
            bytes[(t * kTileRows + r) * 4 + i] = static_cast<uint8_t>(high | valueOf(row, x + 1));
        }
        break;
    default:
        break;
    }
}

// Reads row r of a tile, recording its raw indexes, and maps its pixels.
PackedRow readRow(TileJob &job, TileCoord tile, size_t r) {
    const size_t line = static_cast<size_t>(tile.row) * kTileRows + r;
    const uint8_t *source = job.image.pixels.data() + line * rowBytes(job.image) +
                            static_cast<size_t>(tile.column) * kTileRows;
    PackedRow row = 0;
    for (int32_t x = 0; x < kTileSide; ++x) {
        recordIndex(job.seen, job.out.usedIndices, source[x]);
        row |= uint64_t{mapPixel(job.mapping, source[x])} << (8 * x);
    }
    return row;
}

bool tiledInputFits(const WorkImage &image, const TileSet &tiles) {
    if (tiles.uniqueTiles.empty())
        return true;
    if (image.bitsPerPixel != kIndexBits || image.pixels.size() < pixelBytes(image))
        return false;
    for (TileCoord tile : tiles.uniqueTiles)
        if (!tileInside(image, tile))
            return false;
    return true;
}

bool encodeTiles(TileJob &job, const TileSet &tiles, bool chain) {
    if (job.planeCount < 0 || job.planeCount > kMaxTilePlanes || !tiledInputFits(job.image, tiles))
        return false;
    const size_t slot = job.layout == PatternLayout::Packed4
                            ? kPackedSlotBytes
                            : static_cast<size_t>(job.planeCount) * kTileRows;
    size_t length = 0;
    if (!sizeProduct(tiles.uniqueTiles.size(), slot, length))
        throw std::bad_alloc();
    allocateBuffer(job.out, length, kSpareBytes);
    for (size_t t = 0; t < tiles.uniqueTiles.size(); ++t)
        for (size_t r = 0; r < kTileRows; ++r) {
            const PackedRow row = readRow(job, tiles.uniqueTiles[t], r);
            if (!chain)
                storeRow(job, t, r, row);
        }
    return true;
}

// 8-bit bitmap: every pixel mapped; 16-bit: colour words turned high byte first.
bool encodeBitmap(TileJob &job) {
    const WorkImage &image = job.image;
    const bool indexed = image.bitsPerPixel == kIndexBits;
    if (image.width < 0 || image.height < 0 || image.bitsPerPixel != job.planeCount ||
        (!indexed && image.bitsPerPixel != kDirectBits))
        return false;
    size_t pixelCount = 0;
    size_t length = 0;
    if (!sizeProduct(static_cast<size_t>(image.width), static_cast<size_t>(image.height),
                     pixelCount) ||
        !sizeProduct(pixelCount, bytesPerPixel(image), length))
        throw std::bad_alloc();
    if (image.pixels.size() < length)
        return false;
    allocateBuffer(job.out, length, 0);
    std::vector<uint8_t> &bytes = job.out.bytes;
    for (size_t i = 0; i < pixelCount; ++i) {
        if (indexed) {
            recordIndex(job.seen, job.out.usedIndices, image.pixels[i]);
            bytes[i] = mapPixel(job.mapping, image.pixels[i]);
        } else {
            bytes[2 * i] = image.pixels[2 * i + 1];
            bytes[2 * i + 1] = image.pixels[2 * i];
        }
    }
    return true;
}

} // namespace

uint8_t mapPixel(const PixelMapping &mapping, uint8_t raw) {
    const auto base = static_cast<uint32_t>(mapping.baseColour);
    if (!mapping.transparency)
        return static_cast<uint8_t>(base + raw);
    if (raw == mapping.backgroundIndex)
        return 0;
    if (raw == 0)
        return static_cast<uint8_t>(base + mapping.backgroundIndex);
    return static_cast<uint8_t>(base + raw);
}

bool encodePatterns(const WorkImage &indexed, const TileSet &tiles, PatternLayout layout,
                    int32_t planeCount, bool chain, const PixelMapping &mapping,
                    PatternBuffer &out) {
    out = PatternBuffer{};
    TileJob job{indexed, layout, planeCount, mapping, out, {}};
    switch (layout) {
    case PatternLayout::Interleaved:
    case PatternLayout::Pairs:
    case PatternLayout::Packed4:
        return encodeTiles(job, tiles, chain);
    case PatternLayout::Bitmap:
        return encodeBitmap(job); // -chain has no meaning without tiles
    case PatternLayout::None:
        break;
    }
    return true;
}
