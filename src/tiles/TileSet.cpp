#include "tiles/TileSet.hpp"

#include <array>
#include <cstdio>
#include <utility>

namespace {

constexpr int32_t kFlipCodeCount = 4;
constexpr int32_t kAllFlipBits = kFlipHorizontal | kFlipVertical;
constexpr size_t kIndexMinCapacity = 64;

// One tile's pixels, a row per word: pixel x of a row in byte x.
using TileRows = std::array<uint64_t, kTileSide>;

struct TileGrid {
    int32_t columns = 0;
    int32_t rows = 0;
};

TileGrid tileGrid(const WorkImage &image) {
    if (image.bitsPerPixel != 8 || image.width <= 0 || image.height <= 0 ||
        image.pixels.size() < pixelBytes(image))
        return {};
    return {image.width / kTileSide, image.height / kTileSide};
}

const uint8_t *tileRowStart(const WorkImage &image, TileCoord tile, int32_t y) {
    const size_t line = static_cast<size_t>(tile.row) * kTileSide + static_cast<size_t>(y);
    const size_t column = static_cast<size_t>(tile.column) * kTileSide;
    return image.pixels.data() + line * rowBytes(image) + column;
}

uint64_t packRow(const uint8_t *row) {
    uint64_t word = 0;
    for (int32_t x = 0; x < kTileSide; ++x)
        word |= uint64_t{row[x]} << (8 * x);
    return word;
}

uint8_t pixelOf(uint64_t word, int32_t x) {
    return static_cast<uint8_t>(word >> (8 * x));
}

// The caller has checked that the tile lies inside the grid.
TileRows readTile(const WorkImage &image, TileCoord tile) {
    TileRows rows{};
    for (int32_t y = 0; y < kTileSide; ++y)
        rows[static_cast<size_t>(y)] = packRow(tileRowStart(image, tile, y));
    return rows;
}

// Pixel x of a row is byte x of the word, so mirroring a row reverses its bytes.
uint64_t reverseBytes(uint64_t word) {
    return __builtin_bswap64(word);
}

// The tile as it reads under mirror code flip.
TileRows mirrored(const TileRows &rows, int32_t flip) {
    TileRows out{};
    for (size_t y = 0; y < rows.size(); ++y) {
        const size_t source = (flip & kFlipVertical) ? rows.size() - 1 - y : y;
        out[y] = (flip & kFlipHorizontal) ? reverseBytes(rows[source]) : rows[source];
    }
    return out;
}

int32_t checksumOf(const TileRows &rows) {
    int32_t sum = 0;
    for (uint64_t word : rows)
        for (int32_t x = 0; x < kTileSide; ++x)
            sum += pixelOf(word, x);
    return sum;
}

uint64_t hashOf(const TileRows &rows) {
    uint64_t hash = 0x9E3779B97F4A7C15u;
    for (uint64_t word : rows) {
        hash = (hash ^ word) * 0xFF51AFD7ED558CCDu;
        hash ^= hash >> 32;
    }
    return hash;
}

// Unique tiles indexed by content: open addressing on the content hash.
// Under -opt no two unique tiles have the same content, so a content finds at
// most one tile; equal hashes of different contents are told apart by the
// pixels themselves.
struct IndexSlot {
    uint64_t hash = 0;
    int32_t tile = -1;
};

struct TileIndex {
    std::vector<IndexSlot> slots;
    size_t used = 0;
};

size_t slotMask(const TileIndex &index) {
    return index.slots.size() - 1;
}

void placeSlot(TileIndex &index, IndexSlot slot) {
    size_t at = static_cast<size_t>(slot.hash) & slotMask(index);
    while (index.slots[at].tile >= 0)
        at = (at + 1) & slotMask(index);
    index.slots[at] = slot;
}

void growIndex(TileIndex &index) {
    std::vector<IndexSlot> old;
    old.swap(index.slots);
    index.slots.assign(old.empty() ? kIndexMinCapacity : old.size() * 2, IndexSlot{});
    for (const IndexSlot &slot : old)
        if (slot.tile >= 0)
            placeSlot(index, slot);
}

void addToIndex(TileIndex &index, const TileRows &rows, int32_t tile) {
    if ((index.used + 1) * 2 > index.slots.size())
        growIndex(index);
    placeSlot(index, {hashOf(rows), tile});
    ++index.used;
}

// The unique tile with exactly this content, or -1. Unique tiles are not
// copied: their pixels are read again from the image.
int32_t findInIndex(const TileIndex &index, const WorkImage &image,
                    const std::vector<TileCoord> &uniqueTiles, const TileRows &rows) {
    if (index.slots.empty())
        return -1;
    const uint64_t hash = hashOf(rows);
    for (size_t at = static_cast<size_t>(hash) & slotMask(index); index.slots[at].tile >= 0;
         at = (at + 1) & slotMask(index)) {
        const IndexSlot &slot = index.slots[at];
        if (slot.hash == hash &&
            readTile(image, uniqueTiles[static_cast<size_t>(slot.tile)]) == rows)
            return slot.tile;
    }
    return -1;
}

struct TileMatch {
    int32_t tile = -1;
    int32_t flip = 0;
};

struct TileSetBuilder {
    const WorkImage &image;
    bool optimise;
    bool canFlip;
    TileSet set;
    TileIndex index;
    TileRows previous{}; // the last tile read whose match was looked up
};

// The lowest unique tile number over all mirror codes, then the lowest code for
// it: the first match of a scan over the unique tiles in order, each tried
// with codes 0..3. Equal content implies equal checksum, so the checksum
// filter of such a scan changes nothing.
TileMatch findMatch(const TileSetBuilder &builder, const TileRows &rows) {
    TileMatch best;
    const int32_t codes = builder.canFlip ? kFlipCodeCount : 1;
    for (int32_t flip = 0; flip < codes; ++flip) {
        const int32_t tile = findInIndex(builder.index, builder.image, builder.set.uniqueTiles,
                                         mirrored(rows, flip));
        if (tile >= 0 && (best.tile < 0 || tile < best.tile))
            best = {tile, flip};
    }
    return best;
}

void identifyTile(TileSetBuilder &builder, TileCoord tile) {
    const TileRows rows = readTile(builder.image, tile);
    TileSet &set = builder.set;
    if (builder.optimise && tile.column > 0 && rows == builder.previous) {
        // The same content as the tile to its left finds the same match.
        set.tileMap.push_back(set.tileMap.back());
        set.flipCodes.push_back(set.flipCodes.back());
        return;
    }
    builder.previous = rows;
    if (builder.optimise) {
        const TileMatch match = findMatch(builder, rows);
        if (match.tile >= 0) {
            set.tileMap.push_back(match.tile);
            set.flipCodes.push_back(match.flip);
            return;
        }
    }
    const auto number = static_cast<int32_t>(set.uniqueTiles.size());
    set.checksums.push_back(checksumOf(rows));
    set.uniqueTiles.push_back(tile);
    set.tileMap.push_back(number);
    set.flipCodes.push_back(0);
    if (builder.optimise)
        addToIndex(builder.index, rows, number);
}

} // namespace

TileSet buildTileSet(const WorkImage &indexed, bool optimise, bool canFlip, bool verbose, int32_t) {
    if (verbose)
        std::printf("Identifying unique tiles.. ");
    const TileGrid grid = tileGrid(indexed);
    TileSetBuilder builder{indexed, optimise, canFlip, {}, {}, {}};
    const size_t positions = static_cast<size_t>(grid.columns) * static_cast<size_t>(grid.rows);
    builder.set.tileMap.reserve(positions);
    builder.set.flipCodes.reserve(positions);
    for (int32_t ty = 0; ty < grid.rows; ++ty)
        for (int32_t tx = 0; tx < grid.columns; ++tx)
            identifyTile(builder, {tx, ty});
    if (verbose)
        std::printf("Found %d unique tiles (of %d).\n",
                    static_cast<int>(builder.set.uniqueTiles.size()), static_cast<int>(positions));
    return std::move(builder.set);
}

bool tileInside(const WorkImage &indexed, TileCoord tile) {
    const TileGrid grid = tileGrid(indexed);
    return tile.column >= 0 && tile.row >= 0 && tile.column < grid.columns && tile.row < grid.rows;
}

bool tilesMatch(const WorkImage &indexed, TileCoord candidate, TileCoord unique, int32_t flip) {
    if (!tileInside(indexed, candidate) || !tileInside(indexed, unique))
        return false;
    const int32_t bits = flip & kAllFlipBits;
    for (int32_t y = 0; y < kTileSide; ++y) {
        const int32_t candidateY = (bits & kFlipVertical) ? kTileSide - 1 - y : y;
        const uint8_t *candidateRow = tileRowStart(indexed, candidate, candidateY);
        const uint8_t *uniqueRow = tileRowStart(indexed, unique, y);
        for (int32_t x = 0; x < kTileSide; ++x) {
            const int32_t candidateX = (bits & kFlipHorizontal) ? kTileSide - 1 - x : x;
            if (candidateRow[candidateX] != uniqueRow[x])
                return false;
        }
    }
    return true;
}
