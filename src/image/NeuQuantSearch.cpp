// NeuQuant mapping. A pixel's index depends only on its colour (and, when
// dithering, on the parity of x XOR y). Small networks are searched whole, eight
// neurons at a time; larger ones step outward from the green start position and
// keep their results in a cache per colour.
#include "image/NeuQuantSearch.hpp"
#include "image/NeuQuantLanes.hpp"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <vector>

namespace {

constexpr int32_t kSearchBound = 1000;
constexpr size_t kMaxCacheSlots = size_t{1} << 18;

using Neurons = std::array<std::array<int32_t, 4>, kMaxNeurons>;

// The sorted network and its start positions.
struct SortedNetwork {
    int32_t n = 0;
    const Neurons *neurons = nullptr;
    const GreenIndex *start = nullptr;
};

struct Candidates {
    int32_t darker = -1;
    int32_t lighter = -1;
};

// Steps alternately up from the start position and down from the one below it,
// closing a side once its green difference alone reaches the best distance.
int32_t searchPlain(const SortedNetwork &s, int32_t b, int32_t g, int32_t r) {
    const Neurons &net = *s.neurons;
    int32_t bestDist = kSearchBound;
    int32_t best = -1;
    auto visit = [&](int32_t p, int32_t greenDist) {
        int32_t d = std::abs(greenDist) + std::abs(net[p][0] - b);
        if (d >= bestDist)
            return;
        d += std::abs(net[p][2] - r);
        if (d < bestDist) {
            bestDist = d;
            best = net[p][3];
        }
    };
    int32_t i = (*s.start)[g];
    int32_t j = i - 1;
    while (i < s.n || j >= 0) {
        if (i < s.n) {
            int32_t d = net[i][1] - g;
            if (d >= bestDist)
                i = s.n;
            else
                visit(i++, d);
        }
        if (j >= 0) {
            int32_t d = g - net[j][1];
            if (d >= bestDist)
                j = -1;
            else
                visit(j--, d);
        }
    }
    return best;
}

// One candidate standing in for a missing one; none at all (every neuron as
// bright as the pixel) falls back on the plain search.
template <typename Plain> Candidates completed(Candidates c, Plain plain) {
    if (c.darker < 0 && c.lighter < 0)
        c.darker = c.lighter = plain();
    else if (c.darker < 0)
        c.darker = c.lighter;
    else if (c.lighter < 0)
        c.lighter = c.darker;
    return c;
}

// Visits neurons in the same order as the plain search. Every green difference
// is below the bound of 1000, so the search as designed visits them all; a side
// is closed here once its green difference reaches both candidates' distances
// (and at least 1, since a later exact match still replaces an earlier one),
// because nothing beyond it could change either candidate.
Candidates searchDither(const SortedNetwork &s, int32_t b, int32_t g, int32_t r) {
    const Neurons &net = *s.neurons;
    int32_t darkDist = kSearchBound;
    int32_t lightDist = kSearchBound;
    Candidates c;
    auto visit = [&](int32_t p, int32_t dg) {
        int32_t db = net[p][0] - b;
        int32_t dr = net[p][2] - r;
        int32_t dist = std::abs(dg) + std::abs(db) + std::abs(dr);
        int32_t bright = 587 * dg + 299 * dr + 114 * db; // below 1000 × 255 in size
        if (dist == 0) {
            darkDist = lightDist = 0;
            c.darker = c.lighter = net[p][3];
        } else if (bright < 0 && dist < darkDist) {
            darkDist = dist;
            c.darker = net[p][3];
        } else if (bright > 0 && dist < lightDist) {
            lightDist = dist;
            c.lighter = net[p][3];
        }
    };
    int32_t i = (*s.start)[g];
    int32_t j = i - 1;
    while (i < s.n || j >= 0) {
        if (i < s.n) {
            int32_t dg = net[i][1] - g;
            if (dg >= std::max({darkDist, lightDist, 1}))
                i = s.n;
            else
                visit(i++, dg);
        }
        if (j >= 0) {
            int32_t dg = net[j][1] - g;
            if (-dg >= std::max({darkDist, lightDist, 1}))
                j = -1;
            else
                visit(j--, dg);
        }
    }
    return completed(c, [&] { return searchPlain(s, b, g, r); });
}

// Direct-mapped: each slot holds a colour with bit 24 set, the darker index in
// bits 32..39 and the lighter one in bits 40..47.
struct ColourCache {
    int32_t shift = 0;
    std::vector<uint64_t> slots;
};

ColourCache makeCache(size_t pixelCount) {
    size_t size = 64;
    while (size < pixelCount && size < kMaxCacheSlots)
        size <<= 1;
    ColourCache cache;
    cache.shift = 32 - std::countr_zero(size);
    cache.slots.assign(size, 0);
    return cache;
}

template <typename Search> Candidates lookUp(ColourCache &cache, uint32_t colour, Search search) {
    uint64_t &slot = cache.slots[(colour * 0x9E3779B1u) >> cache.shift];
    uint64_t tag = colour | 0x1000000u;
    if ((slot & 0x1FFFFFF) == tag)
        return {static_cast<int32_t>((slot >> 32) & 0xFF), static_cast<int32_t>(slot >> 40)};
    Candidates c = search(colour & 0xFF, (colour >> 8) & 0xFF, colour >> 16);
    c = {c.darker & 0xFF, c.lighter & 0xFF}; // indexes are below 256
    slot = tag | uint64_t(c.darker) << 32 | uint64_t(c.lighter) << 40;
    return c;
}

// Calls find(b, g, r) for each pixel and stores the darker index where x XOR y
// is odd, the lighter one elsewhere.
template <typename Find> void mapEachPixel(const WorkImage &picture, WorkImage &result, Find find) {
    const auto width = static_cast<size_t>(picture.width);
    const auto height = static_cast<size_t>(picture.height);
    for (size_t y = 0; y < height; ++y) {
        const uint8_t *source = picture.pixels.data() + y * width * 3;
        uint8_t *target = result.pixels.data() + y * width;
        for (size_t x = 0; x < width; ++x) {
            const uint8_t *p = source + 3 * x;
            Candidates c = find(p[0], p[1], p[2]);
            target[x] = static_cast<uint8_t>(((x ^ y) & 1) != 0 ? c.darker : c.lighter);
        }
    }
}

void mapWithCache(const SortedNetwork &sorted, const WorkImage &picture, WorkImage &result,
                  bool dither) {
    ColourCache cache = makeCache(static_cast<size_t>(picture.width) * picture.height);
    mapEachPixel(picture, result, [&](int32_t b, int32_t g, int32_t r) {
        uint32_t colour = uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16;
        return lookUp(cache, colour, [&](int32_t cb, int32_t cg, int32_t cr) {
            if (dither)
                return searchDither(sorted, cb, cg, cr);
            int32_t index = searchPlain(sorted, cb, cg, cr);
            return Candidates{index, index};
        });
    });
}

#if defined(__SSE2__)

constexpr int32_t kSmallNetwork = 32;
constexpr int32_t kRankBits = 6; // visiting ranks of a small network are below 2 × 32

// A network of at most 32 neurons searched whole. A neuron's key is distance ×
// 64 + visiting rank − 32768 (a signed 16-bit lane), where the rank counts the
// visits of the stepwise search: 2k for start + k, 2k + 1 for start − 1 − k. So
// the least key is the neuron that search settles on, the nearest and of those
// the first visited, and the greatest key of distance 0 the last exact match.
struct SmallNetwork {
    size_t laneCount = 0;
    std::vector<int16_t> blue, green, red;
    std::vector<int16_t> floor;      // -32768 on real lanes, 32767 on padding lanes
    std::vector<int32_t> brightness; // 587 green + 299 red + 114 blue
    std::vector<int16_t> rankKeys;   // per start position, rank − 32768 of each lane
    std::vector<int32_t> index;      // palette index by position
    const GreenIndex *start = nullptr;
};

int32_t rankOf(int32_t position, int32_t start) {
    return position >= start ? 2 * (position - start) : 2 * (start - position) - 1;
}

int32_t positionOfRank(int32_t rank, int32_t start) {
    return (rank & 1) == 0 ? start + rank / 2 : start - (rank + 1) / 2;
}

SmallNetwork makeSmallNetwork(const QuantNetwork &network, const GreenIndex &greenIndex) {
    SmallNetwork s;
    const int32_t n = network.neuronCount;
    s.laneCount = static_cast<size_t>((n + lanes::kCount - 1) / lanes::kCount * lanes::kCount);
    s.start = &greenIndex;
    s.blue.assign(s.laneCount, 0);
    s.green.assign(s.laneCount, 0);
    s.red.assign(s.laneCount, 0);
    s.floor.assign(s.laneCount, INT16_MAX);
    s.brightness.assign(s.laneCount, 0);
    s.rankKeys.assign(s.laneCount * n, 0);
    s.index.assign(n, 0);
    for (int32_t p = 0; p < n; ++p) {
        const auto &neuron = network.neurons[p];
        s.blue[p] = static_cast<int16_t>(neuron[0]);
        s.green[p] = static_cast<int16_t>(neuron[1]);
        s.red[p] = static_cast<int16_t>(neuron[2]);
        s.floor[p] = INT16_MIN;
        s.brightness[p] = 587 * neuron[1] + 299 * neuron[2] + 114 * neuron[0];
        s.index[p] = neuron[3];
        for (int32_t start = 0; start < n; ++start)
            s.rankKeys[start * s.laneCount + p] = static_cast<int16_t>(rankOf(p, start) - 32768);
    }
    return s;
}

int32_t indexOfKey(const SmallNetwork &s, int32_t key, int32_t start) {
    return s.index[positionOfRank(key & ((1 << kRankBits) - 1), start)];
}

template <bool kDither>
Candidates searchSmall(const SmallNetwork &s, int32_t b, int32_t g, int32_t r) {
    const int32_t start = (*s.start)[g];
    const int16_t *rankKeys = &s.rankKeys[start * s.laneCount];
    const __m128i pixelB = _mm_set1_epi16(static_cast<int16_t>(b));
    const __m128i pixelG = _mm_set1_epi16(static_cast<int16_t>(g));
    const __m128i pixelR = _mm_set1_epi16(static_cast<int16_t>(r));
    const __m128i pixelBright = _mm_set1_epi32(587 * g + 299 * r + 114 * b);
    const __m128i zero = _mm_setzero_si128();
    const __m128i none = _mm_set1_epi16(INT16_MAX);
    const __m128i lowest = _mm_set1_epi16(INT16_MIN);
    const __m128i exactBelow = _mm_set1_epi16(INT16_MIN + (1 << kRankBits));
    __m128i nearest = none, darker = none, lighter = none, exact = lowest, anyExact = zero;
    for (size_t at = 0; at < s.laneCount; at += lanes::kCount) {
        __m128i dist =
            _mm_add_epi16(_mm_add_epi16(lanes::absDiff(lanes::load(&s.blue[at]), pixelB),
                                        lanes::absDiff(lanes::load(&s.green[at]), pixelG)),
                          lanes::absDiff(lanes::load(&s.red[at]), pixelR));
        // Wraps past 32767 as intended: the true key is within the 16-bit range.
        __m128i key = _mm_add_epi16(_mm_slli_epi16(dist, kRankBits), lanes::load(&rankKeys[at]));
        key = _mm_max_epi16(key, lanes::load(&s.floor[at]));
        nearest = _mm_min_epi16(nearest, key);
        if constexpr (kDither) {
            // The sign of each brightness difference survives the saturating pack.
            __m128i bright =
                _mm_packs_epi32(_mm_sub_epi32(lanes::load(&s.brightness[at]), pixelBright),
                                _mm_sub_epi32(lanes::load(&s.brightness[at + 4]), pixelBright));
            darker = _mm_min_epi16(darker, lanes::select(_mm_cmplt_epi16(bright, zero), key, none));
            lighter =
                _mm_min_epi16(lighter, lanes::select(_mm_cmpgt_epi16(bright, zero), key, none));
            __m128i isExact = _mm_cmplt_epi16(key, exactBelow);
            anyExact = _mm_or_si128(anyExact, isExact);
            exact = _mm_max_epi16(exact, lanes::select(isExact, key, lowest));
        }
    }
    int32_t plain = indexOfKey(s, lanes::horizontalMin(nearest), start);
    if (!kDither)
        return {plain, plain};
    if (_mm_movemask_epi8(anyExact) != 0) {
        int32_t index = indexOfKey(s, lanes::horizontalMax(exact), start);
        return {index, index};
    }
    Candidates c;
    if (int32_t key = lanes::horizontalMin(darker); key != INT16_MAX)
        c.darker = indexOfKey(s, key, start);
    if (int32_t key = lanes::horizontalMin(lighter); key != INT16_MAX)
        c.lighter = indexOfKey(s, key, start);
    return completed(c, [plain] { return plain; });
}

bool mapSmallNetwork(const QuantNetwork &network, const GreenIndex &greenIndex,
                     const WorkImage &picture, WorkImage &result, bool dither) {
    if (network.neuronCount > kSmallNetwork)
        return false;
    const SmallNetwork small = makeSmallNetwork(network, greenIndex);
    if (dither)
        mapEachPixel(picture, result, [&](int32_t b, int32_t g, int32_t r) {
            return searchSmall<true>(small, b, g, r);
        });
    else
        mapEachPixel(picture, result, [&](int32_t b, int32_t g, int32_t r) {
            return searchSmall<false>(small, b, g, r);
        });
    return true;
}

#else

bool mapSmallNetwork(const QuantNetwork &, const GreenIndex &, const WorkImage &, WorkImage &,
                     bool) {
    return false;
}

#endif

} // namespace

GreenIndex buildGreenIndex(QuantNetwork &network) {
    GreenIndex index{};
    const int32_t n = network.neuronCount;
    auto &neurons = network.neurons;
    int32_t previous = 0;
    int32_t start = 0;
    for (int32_t i = 0; i < n; ++i) {
        int32_t smallest = i;
        for (int32_t j = i + 1; j < n; ++j)
            if (neurons[j][1] < neurons[smallest][1])
                smallest = j;
        std::swap(neurons[i], neurons[smallest]);
        int32_t green = neurons[i][1];
        if (green != previous) {
            index[previous] = (start + i) >> 1;
            for (int32_t v = previous + 1; v < green; ++v)
                index[v] = i;
            previous = green;
            start = i;
        }
    }
    index[previous] = (start + n - 1) >> 1;
    for (int32_t v = previous + 1; v < 256; ++v)
        index[v] = n - 1;
    return index;
}

void mapPixels(const QuantNetwork &network, const GreenIndex &greenIndex, const WorkImage &picture,
               WorkImage &result, bool dither) {
    if (!mapSmallNetwork(network, greenIndex, picture, result, dither))
        mapWithCache({network.neuronCount, &network.neurons, &greenIndex}, picture, result, dither);
}
