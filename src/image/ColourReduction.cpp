#include "image/ColourReduction.hpp"

#include "common/Threads.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// Open-addressed table from colour key to list position. The list never holds
// more than 257 keys, so 1024 slots keep probes short.
struct ColourIndex {
    static constexpr size_t kSlots = 1024;
    std::array<ColourKey, kSlots> keys{};
    std::array<int32_t, kSlots> positions{};
    std::array<bool, kSlots> used{};

    static size_t slotOf(ColourKey key) { return (key * 2654435761u) >> 22; }

    // Position of the key, or -1 with `slot` at the free slot where it belongs.
    int32_t find(ColourKey key, size_t &slot) const {
        slot = slotOf(key);
        while (used[slot]) {
            if (keys[slot] == key)
                return positions[slot];
            slot = (slot + 1) % kSlots;
        }
        return -1;
    }

    void insert(size_t slot, ColourKey key, int32_t position) {
        used[slot] = true;
        keys[slot] = key;
        positions[slot] = position;
    }
};

// Blue, green, red of a pixel in the module's byte order.
const uint8_t *pixelColour(const WorkImage &image, const Palette &palette, size_t pixel) {
    if (image.bitsPerPixel == 8)
        return palette.data() + 3 * static_cast<size_t>(image.pixels[pixel]);
    return image.pixels.data() + pixel * bytesPerPixel(image);
}

// A new picture of the padded size at `bitsPerPixel`, each pixel made from the
// source pixel's blue, green, red by `store`.
template <typename Store>
WorkImage convertPixels(const WorkImage &padded, const Palette &palette, int32_t bitsPerPixel,
                        Store store) {
    WorkImage result = makeBlankImage(padded.width, padded.height, bitsPerPixel);
    const size_t size = bytesPerPixel(result);
    size_t count = static_cast<size_t>(padded.width) * static_cast<size_t>(padded.height);
    for (size_t i = 0; i < count; ++i)
        store(pixelColour(padded, palette, i), result.pixels.data() + i * size);
    return result;
}

// 15-bit colour words, bit 15 set, stored low byte first.
IndexedImage toDirectColour(const WorkImage &padded, const Palette &palette) {
    IndexedImage result;
    result.image = convertPixels(padded, palette, 16, [](const uint8_t *bgr, uint8_t *out) {
        uint16_t word = static_cast<uint16_t>(0x8000 | (bgr[0] >> 3) << 10 | (bgr[1] >> 3) << 5 |
                                              (bgr[2] >> 3));
        out[0] = static_cast<uint8_t>(word & 0xFF);
        out[1] = static_cast<uint8_t>(word >> 8);
    });
    return result;
}

IndexedImage quantise(WorkImage padded, const Palette &palette, QuantNetwork &network,
                      const ReductionRequest &request) {
    if (request.verbose)
        std::printf("More than %d colors found. Quantising image..\n", request.limit);
    if (padded.bitsPerPixel != 24) // the quantiser reads packed blue, green, red
        padded = convertPixels(padded, palette, 24,
                               [](const uint8_t *bgr, uint8_t *out) { std::memcpy(out, bgr, 3); });
    IndexedImage result = quantiseImage(network, padded, request.limit, request.dither);
    result.colourCount = request.limit;
    return result;
}

using IndexTable = std::array<uint8_t, 256>;

void translatePixels(uint8_t *pixels, size_t count, const IndexTable &position) {
    const IndexTable table = position; // a copy no store to the pixels can alias
    for (size_t i = 0; i < count; ++i)
        pixels[i] = table[pixels[i]];
}

#if defined(__x86_64__)
// Sixteen pixels a step through one byte shuffle; every index is below 16.
__attribute__((target("ssse3"))) void translateSmallIndexes(uint8_t *pixels, size_t count,
                                                            const IndexTable &position) {
    const __m128i table = _mm_loadu_si128(reinterpret_cast<const __m128i *>(position.data()));
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        auto *at = reinterpret_cast<__m128i *>(pixels + i);
        _mm_storeu_si128(at, _mm_shuffle_epi8(table, _mm_loadu_si128(at)));
    }
    translatePixels(pixels + i, count - i, position);
}
#endif

void translateIndexes(uint8_t *pixels, size_t count, const IndexTable &position, bool below16) {
#if defined(__x86_64__)
    if (below16 && __builtin_cpu_supports("ssse3")) {
        translateSmallIndexes(pixels, count, position);
        return;
    }
#endif
    (void)below16;
    translatePixels(pixels, count, position);
}

// An 8-bit picture keeps its pixel memory: each index becomes its list position.
IndexedImage renumberIndexed(const ColourList &list, WorkImage padded, const Palette &source,
                              int32_t threads) {
    IndexTable position{};
    IndexedImage result;
    bool below16 = true; // the list holds every index the picture uses
    for (size_t k = 0; k < list.size() && k < 256; ++k) {
        uint8_t index = static_cast<uint8_t>(list[k] >> 24);
        position[index] = static_cast<uint8_t>(k);
        below16 = below16 && index < 16;
        for (size_t c = 0; c < 3; ++c)
            result.palette[3 * k + c] = source[3 * index + 2 - c];
    }
    const std::vector<size_t> bounds = splitRange(padded.pixels.size(), bandsFor(threads));
    uint8_t *pixels = padded.pixels.data();
    runPieces(threads, bounds.size() - 1, [&](size_t band) {
        translateIndexes(pixels + bounds[band], bounds[band + 1] - bounds[band], position,
                         below16);
    });
    result.image = std::move(padded);
    result.colourCount = static_cast<int32_t>(list.size());
    return result;
}

ColourIndex indexOfColours(const ColourList &list) {
    ColourIndex index;
    for (size_t k = 0; k < list.size() && k < 256; ++k) {
        size_t slot;
        if (index.find(list[k], slot) < 0)
            index.insert(slot, list[k], static_cast<int32_t>(k));
    }
    return index;
}

// Each 24- or 32-bit pixel's list position; a key not in the list gives 0.
void numberPixels(const ColourIndex &index, const uint8_t *pixels, size_t step, uint8_t *out,
                  size_t count) {
    for (size_t i = 0; i < count; ++i) {
        size_t slot;
        const int32_t position = index.find(colourKeyOf(pixels + i * step, 24), slot);
        out[i] = static_cast<uint8_t>(position < 0 ? 0 : position);
    }
}

IndexedImage numberTrueColours(const ColourList &list, const WorkImage &padded, int32_t threads) {
    IndexedImage result;
    result.image = makeBlankImage(padded.width, padded.height, 8);
    const ColourIndex index = indexOfColours(list);
    result.palette = paletteOfColours(list);
    const size_t count = static_cast<size_t>(padded.width) * static_cast<size_t>(padded.height);
    const size_t step = bytesPerPixel(padded);
    const std::vector<size_t> bounds = splitRange(count, bandsFor(threads));
    const uint8_t *source = padded.pixels.data();
    uint8_t *out = result.image.pixels.data();
    runPieces(threads, bounds.size() - 1, [&](size_t band) {
        numberPixels(index, source + bounds[band] * step, step, out + bounds[band],
                     bounds[band + 1] - bounds[band]);
    });
    result.colourCount = static_cast<int32_t>(list.size());
    return result;
}

} // namespace

ColourKey colourKeyOf(const uint8_t *pixel, int32_t bitsPerPixel) {
    if (bitsPerPixel == 8)
        return ColourKey{pixel[0]} << 24;
    return ColourKey{pixel[2]} | ColourKey{pixel[1]} << 8 | ColourKey{pixel[0]} << 16;
}

namespace {

// The list's length at which counting stops: one past the limit, or the
// index table's capacity (no format has more than 256 colours).
size_t countCap(int32_t limit) {
    constexpr size_t kMaxCounted = ColourIndex::kSlots / 2;
    return limit > 0 ? std::min(static_cast<size_t>(limit) + 1, kMaxCounted) : kMaxCounted;
}

size_t pixelCount(const PictureView &image) {
    return static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
}

constexpr size_t kNotSeen = SIZE_MAX;
using FirstSeen = std::array<size_t, 256>;

uint8_t largestIndex(const uint8_t *pixels, size_t begin, size_t end) {
    uint8_t largest = 0; // no early exit, so the compiler vectorises it
    for (size_t i = begin; i < end; ++i)
        largest = std::max(largest, pixels[i]);
    return largest;
}

// Each index's first pixel within [begin, end), or kNotSeen. No index above
// `largest` occurs, so the scan ends once all up to it have been seen.
FirstSeen firstIndexPositions(const uint8_t *pixels, size_t begin, size_t end, uint8_t largest) {
    FirstSeen first;
    first.fill(kNotSeen);
    size_t unseen = size_t{largest} + 1;
    for (size_t i = begin; i < end; ++i) {
        const uint8_t index = pixels[i];
        if (first[index] == kNotSeen) [[unlikely]] {
            first[index] = i;
            if (--unseen == 0)
                break;
        }
    }
    return first;
}

// 8-bit pictures: the first position of each index decides the order, so the
// bands' tables merge by taking the earliest.
ColourList countIndexes(const PictureView &image, size_t cap, int32_t threads) {
    const std::vector<size_t> bounds = splitRange(pixelCount(image), bandsFor(threads));
    std::vector<uint8_t> largest(bounds.size() - 1, 0);
    runPieces(threads, largest.size(), [&](size_t band) {
        largest[band] = largestIndex(image.pixels, bounds[band], bounds[band + 1]);
    });
    const uint8_t picturesLargest = *std::max_element(largest.begin(), largest.end());
    std::vector<FirstSeen> bands(bounds.size() - 1);
    runPieces(threads, bands.size(), [&](size_t band) {
        bands[band] =
            firstIndexPositions(image.pixels, bounds[band], bounds[band + 1], picturesLargest);
    });
    FirstSeen first;
    first.fill(kNotSeen);
    for (const FirstSeen &band : bands)
        for (size_t index = 0; index < 256; ++index)
            first[index] = std::min(first[index], band[index]);
    std::vector<std::pair<size_t, ColourKey>> seen;
    for (size_t index = 0; index < 256; ++index)
        if (first[index] != kNotSeen)
            seen.emplace_back(first[index], static_cast<ColourKey>(index) << 24);
    std::sort(seen.begin(), seen.end());
    ColourList list;
    for (size_t k = 0; k < seen.size() && k < cap; ++k)
        list.push_back(seen[k].second);
    return list;
}

// Truecolour: the colours of [begin, end) in first-seen order, at most `cap`.
ColourList firstColours(const PictureView &image, size_t begin, size_t end, size_t cap) {
    ColourList list;
    ColourIndex index;
    const size_t step = bytesPerPixel(image.bitsPerPixel);
    for (size_t i = begin; i < end; ++i) {
        const ColourKey key = colourKeyOf(image.pixels + i * step, image.bitsPerPixel);
        size_t slot;
        if (index.find(key, slot) < 0) {
            index.insert(slot, key, static_cast<int32_t>(list.size()));
            list.push_back(key);
            if (list.size() >= cap)
                break;
        }
    }
    return list;
}

// The bands' lists joined in band order, each colour kept where it first
// appears: the order one scan of the whole picture gives.
ColourList joinBandColours(const std::vector<ColourList> &bands, size_t cap) {
    ColourList list;
    ColourIndex index;
    for (const ColourList &band : bands)
        for (ColourKey key : band) {
            size_t slot;
            if (index.find(key, slot) >= 0)
                continue;
            index.insert(slot, key, static_cast<int32_t>(list.size()));
            list.push_back(key);
            if (list.size() >= cap)
                return list;
        }
    return list;
}

struct BandColours {
    ColourList list;
    uint8_t *firstRow = nullptr; // where the band's rows start in the numbered picture
    size_t pixels = 0;           // and how many pixels they hold, padding included
};

// The colours of source rows [first, end) in first-seen order, at most `cap`;
// each pixel's position in that list is stored where flipping puts the pixel.
void countAndNumberRows(const PictureView &picture, size_t first, size_t end, size_t cap,
                        WorkImage &numbered, BandColours &band) {
    ColourIndex index;
    const size_t step = bytesPerPixel(picture.bitsPerPixel);
    const auto width = static_cast<size_t>(picture.width);
    const auto stride = static_cast<size_t>(numbered.width);
    uint8_t *const top = numbered.pixels.data();
    const auto height = static_cast<size_t>(picture.height);
    band.firstRow = top + (height - end) * stride;
    band.pixels = (end - first) * stride;
    for (size_t r = first; r < end; ++r) {
        const uint8_t *row = picture.pixels + r * width * step;
        uint8_t *target = top + (height - 1 - r) * stride;
        for (size_t x = 0; x < width; ++x) {
            const ColourKey key = colourKeyOf(row + x * step, picture.bitsPerPixel);
            size_t slot;
            int32_t position = index.find(key, slot);
            if (position < 0) {
                position = static_cast<int32_t>(band.list.size());
                index.insert(slot, key, position);
                band.list.push_back(key);
                if (band.list.size() >= cap)
                    return;
            }
            target[x] = static_cast<uint8_t>(position);
        }
    }
}

} // namespace

NumberedColours countAndNumberColours(const PictureView &picture, int32_t paddedWidth,
                                      int32_t paddedHeight, int32_t limit, int32_t threads) {
    const size_t cap = countCap(limit);
    WorkImage numbered = makeBlankImage(paddedWidth, paddedHeight, 8);
    const std::vector<size_t> bounds =
        splitRange(static_cast<size_t>(picture.height), bandsFor(threads));
    std::vector<BandColours> bands(bounds.size() - 1);
    runPieces(threads, bands.size(), [&](size_t b) {
        countAndNumberRows(picture, bounds[b], bounds[b + 1], cap, numbered, bands[b]);
    });
    std::vector<ColourList> lists;
    for (BandColours &band : bands)
        lists.push_back(std::move(band.list));
    NumberedColours result;
    result.colours = joinBandColours(lists, cap);
    if (result.colours.size() > static_cast<size_t>(limit))
        return result;
    const ColourIndex index = indexOfColours(result.colours);
    runPieces(threads, bands.size(), [&](size_t b) {
        IndexTable toList{};
        for (size_t k = 0; k < lists[b].size(); ++k) {
            size_t slot;
            toList[k] = static_cast<uint8_t>(index.find(lists[b][k], slot));
        }
        // The stored positions are below the band's colour count.
        translateIndexes(bands[b].firstRow, bands[b].pixels, toList, lists[b].size() <= 16);
    });
    result.numbered = std::move(numbered);
    return result;
}

ColourList countColours(const PictureView &image, int32_t limit, int32_t threads) {
    const size_t cap = countCap(limit);
    if (image.bitsPerPixel == 8)
        return countIndexes(image, cap, threads);
    const std::vector<size_t> bounds = splitRange(pixelCount(image), bandsFor(threads));
    std::vector<ColourList> bands(bounds.size() - 1);
    runPieces(threads, bands.size(), [&](size_t band) {
        bands[band] = firstColours(image, bounds[band], bounds[band + 1], cap);
    });
    return joinBandColours(bands, cap);
}

Palette paletteOfColours(const ColourList &list) {
    Palette palette{};
    for (size_t k = 0; k < list.size() && k < 256; ++k)
        for (size_t c = 0; c < 3; ++c)
            palette[3 * k + c] = static_cast<uint8_t>(list[k] >> (8 * c));
    return palette;
}

WorkImage padNumberedPicture(NumberedColours counted, const PictureView &picture,
                             const Padding &padding) {
    if (padding.fill != nullptr) {
        const int32_t fill =
            findColour(counted.colours, colourKeyOf(padding.fill, picture.bitsPerPixel));
        fillPadding(counted.numbered, picture.width, picture.height, static_cast<uint8_t>(fill));
    }
    return std::move(counted.numbered);
}

IndexedImage numberedImage(const ColourList &list, WorkImage numbered) {
    IndexedImage result;
    result.image = std::move(numbered);
    result.palette = paletteOfColours(list);
    result.colourCount = static_cast<int32_t>(list.size());
    return result;
}

int32_t findColour(const ColourList &list, ColourKey key) {
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == key)
            return static_cast<int32_t>(i);
    return -1;
}

IndexedImage reduceColours(const ColourList &list, WorkImage padded, const Palette &sourcePalette,
                           QuantNetwork &network, const ReductionRequest &request) {
    if (request.directColour)
        return toDirectColour(padded, sourcePalette);
    if (list.size() > static_cast<size_t>(request.limit))
        return quantise(std::move(padded), sourcePalette, network, request);
    if (padded.bitsPerPixel == 8)
        return renumberIndexed(list, std::move(padded), sourcePalette, request.threads);
    return numberTrueColours(list, padded, request.threads);
}

int64_t countDistinctColours(const PictureView &picture) {
    constexpr size_t kKeys = size_t{1} << 24; // one bit for each colour key
    std::vector<uint64_t> seen(kKeys / 64, 0);
    const size_t count = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    const size_t step = bytesPerPixel(picture.bitsPerPixel);
    int64_t distinct = 0;
    for (size_t i = 0; i < count; ++i) {
        ColourKey key = colourKeyOf(picture.pixels + i * step, picture.bitsPerPixel);
        key = picture.bitsPerPixel == 8 ? key >> 24 : key;
        uint64_t &word = seen[key / 64];
        const uint64_t bit = uint64_t{1} << (key % 64);
        distinct += (word & bit) == 0;
        word |= bit;
    }
    return distinct;
}

bool hasTranslucentPixel(const PictureView &picture) {
    if (picture.bitsPerPixel != 32)
        return false;
    const size_t count = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    for (size_t i = 0; i < count; ++i)
        if (picture.pixels[4 * i + 3] != 0xFF)
            return true;
    return false;
}
