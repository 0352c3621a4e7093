#include "tiles/TileSet.hpp"

#include "common/Threads.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <utility>

namespace {

constexpr int32_t kFlipCodeCount = 4;
constexpr int32_t kAllFlipBits = kFlipHorizontal | kFlipVertical;
constexpr size_t kIndexMinCapacity = 64;
// Canonical forms kept per band and for the join (64 bytes each): enough for
// maps of thousands of distinct tiles, little beside a big picture.
constexpr size_t kBandFormsKept = 4096;
constexpr size_t kJoinFormsKept = 16384;
constexpr size_t kTrimAfterFamilies = 32768;

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
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, row, sizeof word);
    } else {
        for (int32_t x = 0; x < kTileSide; ++x)
            word |= uint64_t{row[x]} << (8 * x);
    }
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

// The tile as it reads under mirror code flip. Mirror codes compose by xor.
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

// The tiles that equal each other under some mirror code form a family. Its
// canonical form is the least of its mirrored readings, so one lookup of that
// form finds a tile's family whichever way round the tile is drawn.
struct CanonicalForm {
    TileRows rows{};
    int32_t code = 0; // rows == mirrored(tile, code)
};

CanonicalForm canonicalForm(const TileRows &rows, bool canFlip) {
    CanonicalForm best{rows, 0};
    for (int32_t flip = 1; canFlip && flip < kFlipCodeCount; ++flip) {
        const TileRows reading = mirrored(rows, flip);
        if (reading < best.rows)
            best = {reading, flip};
    }
    return best;
}

struct TileFamily {
    TileCoord first;      // its first tile in scan order
    uint8_t code = 0;     // the canonical form is the first tile under this code
    uint8_t symmetry = 0; // bit s set when the canonical form reads the same under code s
};

struct IndexSlot {
    uint32_t hash = 0;
    int32_t family = -1;
};

// Families in order of first appearance, indexed by canonical form (open
// addressing on its hash; equal hashes are told apart by the pixels). The
// forms of the first `formsCap` families are kept, a cache line each; later
// ones are read again from the image, which bounds the memory taken on
// pictures of mostly distinct tiles.
struct FamilyStore {
    std::vector<TileCoord> firsts; // each family's first tile
    std::vector<uint8_t> codes;    // its code, and its symmetry bits shifted left by 2
    std::vector<TileRows> forms;
    size_t formsCap = 0;
    std::vector<IndexSlot> slots;
};

uint32_t formHash(const TileRows &form) {
    return static_cast<uint32_t>(hashOf(form));
}

TileFamily familyAt(const FamilyStore &store, size_t family) {
    const uint8_t code = store.codes[family];
    return {store.firsts[family], static_cast<uint8_t>(code & kAllFlipBits),
            static_cast<uint8_t>(code >> 2)};
}

TileRows formOf(const FamilyStore &store, const WorkImage &image, size_t family) {
    if (family < store.forms.size())
        return store.forms[family];
    const TileFamily f = familyAt(store, family);
    return mirrored(readTile(image, f.first), f.code);
}

void placeSlot(std::vector<IndexSlot> &slots, IndexSlot slot) {
    const size_t mask = slots.size() - 1;
    size_t at = slot.hash & mask;
    while (slots[at].family >= 0)
        at = (at + 1) & mask;
    slots[at] = slot;
}

int32_t findFamily(const FamilyStore &store, const WorkImage &image, const TileRows &form,
                   uint32_t hash) {
    if (store.slots.empty())
        return -1;
    const size_t mask = store.slots.size() - 1;
    for (size_t at = hash & mask; store.slots[at].family >= 0; at = (at + 1) & mask) {
        const IndexSlot &slot = store.slots[at];
        if (slot.hash == hash && formOf(store, image, static_cast<size_t>(slot.family)) == form)
            return slot.family;
    }
    return -1;
}

// Slots for `families` families with the table at most 70 % full.
size_t slotsFor(size_t families) {
    size_t slots = kIndexMinCapacity;
    while (families * 10 > slots * 7)
        slots *= 2;
    return slots;
}

int32_t addFamily(FamilyStore &store, TileFamily family, const TileRows &form, uint32_t hash) {
    const auto number = static_cast<int32_t>(store.firsts.size());
    if (slotsFor(store.firsts.size() + 1) > store.slots.size()) {
        std::vector<IndexSlot> old;
        old.swap(store.slots);
        store.slots.assign(slotsFor(store.firsts.size() + 1), IndexSlot{});
        for (const IndexSlot &slot : old)
            if (slot.family >= 0)
                placeSlot(store.slots, slot);
    }
    placeSlot(store.slots, {hash, number});
    store.firsts.push_back(family.first);
    store.codes.push_back(static_cast<uint8_t>(family.code | family.symmetry << 2));
    if (store.forms.size() < store.formsCap)
        store.forms.push_back(form);
    return number;
}

template <typename T> void release(std::vector<T> &items) {
    std::vector<T>().swap(items);
}

uint8_t symmetryOf(const TileRows &form, bool canFlip) {
    uint8_t bits = 1;
    for (int32_t flip = 1; canFlip && flip < kFlipCodeCount; ++flip)
        bits |= mirrored(form, flip) == form ? 1 << flip : 0;
    return bits;
}

// What a band of tile rows finds on its own: its families and, per tile, its
// family there and its canonical code.
struct BandFamilies {
    FamilyStore store;
    std::vector<int32_t> globalNumbers; // band family -> unique tile number
};

struct TileSetWork {
    const WorkImage &image;
    bool canFlip;
    TileGrid grid;
    TileSet set;
};

size_t positionOf(const TileGrid &grid, TileCoord tile) {
    return static_cast<size_t>(tile.row) * static_cast<size_t>(grid.columns) +
           static_cast<size_t>(tile.column);
}

void findBandFamilies(TileSetWork &work, BandFamilies &band, int32_t firstRow, int32_t endRow) {
    band.store.formsCap =
        std::min(kBandFormsKept, positionOf(work.grid, {0, endRow - firstRow}) / 2);
    TileRows previous{};
    for (int32_t ty = firstRow; ty < endRow; ++ty)
        for (int32_t tx = 0; tx < work.grid.columns; ++tx) {
            const size_t at = positionOf(work.grid, {tx, ty});
            const TileRows rows = readTile(work.image, {tx, ty});
            if (tx > 0 && rows == previous) {
                // The same content as the tile to its left: the same family and code.
                work.set.tileMap[at] = work.set.tileMap[at - 1];
                work.set.flipCodes[at] = work.set.flipCodes[at - 1];
                continue;
            }
            previous = rows;
            const CanonicalForm form = canonicalForm(rows, work.canFlip);
            const uint32_t hash = formHash(form.rows);
            int32_t family = findFamily(band.store, work.image, form.rows, hash);
            if (family < 0) {
                const TileFamily found{{tx, ty},
                                       static_cast<uint8_t>(form.code),
                                       symmetryOf(form.rows, work.canFlip)};
                family = addFamily(band.store, found, form.rows, hash);
            }
            work.set.tileMap[at] = family;
            work.set.flipCodes[at] = form.code;
        }
    release(band.store.slots);
}

// Bands in order, each band's families in order: the order of first
// appearance over the whole picture, so new families become the unique tiles.
FamilyStore joinBandFamilies(TileSetWork &work, std::vector<BandFamilies> &bands,
                             size_t bandFamilies) {
    FamilyStore uniques;
    uniques.formsCap = std::min(kJoinFormsKept, work.set.tileMap.size() / 4);
    // Room for every band family at once, so that nothing is copied to grow.
    uniques.firsts.reserve(bandFamilies);
    uniques.codes.reserve(bandFamilies);
    uniques.slots.assign(slotsFor(bandFamilies), IndexSlot{});
    work.set.checksums.reserve(bandFamilies);
    for (BandFamilies &band : bands) {
        for (size_t family = 0; family < band.store.firsts.size(); ++family) {
            const TileRows form = formOf(band.store, work.image, family);
            const uint32_t hash = formHash(form);
            int32_t number = findFamily(uniques, work.image, form, hash);
            if (number < 0) {
                number = addFamily(uniques, familyAt(band.store, family), form, hash);
                work.set.checksums.push_back(checksumOf(form));
            }
            band.globalNumbers.push_back(number);
        }
        release(band.store.firsts);
        release(band.store.codes);
        release(band.store.forms);
    }
    release(uniques.slots);
    release(uniques.forms);
    work.set.uniqueTiles = std::move(uniques.firsts); // the unique tiles are the families' first tiles
    return uniques;
}

// A tile with canonical code c in the family of unique tile u (code cu) reads
// as u under c ^ cu ^ s for every symmetry s of the form; the lowest code wins.
void numberBandTiles(TileSetWork &work, const BandFamilies &band, const FamilyStore &uniques,
                     int32_t firstRow, int32_t endRow) {
    const size_t begin = positionOf(work.grid, {0, firstRow});
    const size_t end = positionOf(work.grid, {0, endRow});
    for (size_t at = begin; at < end; ++at) {
        const int32_t number = band.globalNumbers[static_cast<size_t>(work.set.tileMap[at])];
        const uint8_t unique = uniques.codes[static_cast<size_t>(number)];
        const int32_t toUnique = work.set.flipCodes[at] ^ (unique & kAllFlipBits);
        int32_t flip = kAllFlipBits;
        for (int32_t s = 0; s < kFlipCodeCount; ++s)
            if ((unique >> 2) & (1 << s))
                flip = std::min(flip, toUnique ^ s);
        work.set.tileMap[at] = number;
        work.set.flipCodes[at] = flip;
    }
}

void findRepeatedTiles(TileSetWork &work, int32_t threads) {
    const size_t positions = positionOf(work.grid, {0, work.grid.rows});
    work.set.tileMap.assign(positions, 0);
    work.set.flipCodes.assign(positions, 0);
    // Every band finds most families again, so as few bands as threads: the
    // set is the same whatever the bands.
    const std::vector<size_t> bounds =
        splitRange(static_cast<size_t>(work.grid.rows), static_cast<size_t>(std::max(threads, 1)));
    std::vector<BandFamilies> bands(bounds.size() - 1);
    auto rowAt = [&](size_t i) { return static_cast<int32_t>(bounds[i]); };
    runPieces(threads, bands.size(),
              [&](size_t b) { findBandFamilies(work, bands[b], rowAt(b), rowAt(b + 1)); });
    size_t found = 0;
    for (const BandFamilies &band : bands)
        found += band.store.firsts.size();
    if (found >= kTrimAfterFamilies)
        malloc_trim(0); // the bands' indexes, freed on their own threads
    const FamilyStore uniques = joinBandFamilies(work, bands, found);
    runPieces(threads, bands.size(), [&](size_t b) {
        numberBandTiles(work, bands[b], uniques, rowAt(b), rowAt(b + 1));
    });
    // Tables for tens of thousands of families stay with the allocator once
    // freed, and the pattern data comes on top of them: hand them back.
    if (work.set.uniqueTiles.size() >= kTrimAfterFamilies) {
        bands.clear();
        malloc_trim(0);
    }
}

void keepEveryTile(TileSetWork &work) {
    for (int32_t ty = 0; ty < work.grid.rows; ++ty)
        for (int32_t tx = 0; tx < work.grid.columns; ++tx) {
            work.set.tileMap.push_back(static_cast<int32_t>(work.set.uniqueTiles.size()));
            work.set.flipCodes.push_back(0);
            work.set.uniqueTiles.push_back({tx, ty});
            work.set.checksums.push_back(checksumOf(readTile(work.image, {tx, ty})));
        }
}

} // namespace

TileSet buildTileSet(const WorkImage &indexed, bool optimise, bool canFlip, bool verbose,
                     int32_t threads) {
    if (verbose)
        std::printf("Identifying unique tiles.. ");
    TileSetWork work{indexed, canFlip, tileGrid(indexed), {}};
    if (optimise)
        findRepeatedTiles(work, threads);
    else
        keepEveryTile(work);
    if (verbose)
        std::printf("Found %d unique tiles (of %d).\n",
                    static_cast<int>(work.set.uniqueTiles.size()),
                    static_cast<int>(work.set.tileMap.size()));
    return std::move(work.set);
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
