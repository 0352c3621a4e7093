// NeuQuant training. The network is kept as columns of 16-bit colours so that
// the winner search, which runs over every neuron for every pixel, and the moves
// of the neighbours handle eight neurons per SSE2 instruction; the result is
// exactly that of the one-neuron-at-a-time algorithm.
#include "image/NeuQuant.hpp"
#include "image/NeuQuantLanes.hpp"
#include "image/NeuQuantSearch.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

namespace {

constexpr int32_t kLanes = 8; // neurons per group, one 16-bit lane each
constexpr int32_t kMaxSpan = kMaxNeurons / 8;
constexpr int32_t kWeightCentre = kMaxSpan - 1 + kLanes - 1;
constexpr int32_t kWeightCount = 2 * kWeightCentre + 1;
constexpr int32_t kPrefetchDistance = 8;

struct Trainer {
    int32_t n = 0;
    int32_t initialFreq = 0;
    // Colours ×16; they stay within 0..4095 because every move goes part of the
    // way toward a target in 0..4080.
    std::vector<int16_t> blue, green, red;
    // Only the frequency is kept: bias + 1024 × frequency never changes (the
    // decay moves f << 10 from one to the other, a win adds 64 × 1024 to one and
    // takes 65536 from the other), so bias = 1024 × (initial − frequency).
    std::vector<int32_t> freq;
    std::vector<int16_t> padFloor; // -32768 on real lanes, 32767 on padding lanes
    // Pairs (weight & 511, -64 × (weight >> 9)) of the weights that move the
    // neuron d places from the winner, at kWeightCentre + d: alpha × 256 at the
    // centre, 0 from the span on, so whole groups can be moved.
    std::array<int16_t, 2 * kWeightCount> weightPairs{};
};

Trainer makeTrainer(int32_t n) {
    Trainer t;
    t.n = n;
    // Padding lanes up to a whole group.
    auto laneCount = static_cast<size_t>((n + kLanes - 1) / kLanes * kLanes);
    t.initialFreq = 65536 / n;
    t.blue.assign(laneCount, 0);
    t.green.assign(laneCount, 0);
    t.red.assign(laneCount, 0);
    t.freq.assign(laneCount, 0);
    t.padFloor.assign(laneCount, std::numeric_limits<int16_t>::max());
    for (int32_t i = 0; i < n; ++i) {
        auto v = static_cast<int16_t>((static_cast<uint32_t>(i) << 12) / static_cast<uint32_t>(n));
        t.blue[i] = t.green[i] = t.red[i] = v;
        t.freq[i] = t.initialFreq;
        t.padFloor[i] = std::numeric_limits<int16_t>::min();
    }
    return t;
}

#if defined(__SSE2__)

using lanes::absDiff;
using lanes::horizontalMin;
using lanes::select;

// Per lane, the smallest value so far and the first position that held it.
struct LaneBest {
    __m128i value = _mm_set1_epi16(std::numeric_limits<int16_t>::max());
    __m128i position = _mm_setzero_si128();
};

void keepSmaller(LaneBest &best, __m128i value, __m128i position) {
    __m128i smaller = _mm_cmplt_epi16(value, best.value);
    best.value = _mm_min_epi16(best.value, value);
    best.position = select(smaller, position, best.position);
}

// The lowest position holding the smallest value: ties keep the lower position.
int32_t firstOfSmallest(const LaneBest &best) {
    auto least = static_cast<int16_t>(horizontalMin(best.value));
    __m128i where = _mm_cmpeq_epi16(best.value, _mm_set1_epi16(least));
    __m128i none = _mm_set1_epi16(std::numeric_limits<int16_t>::max());
    return horizontalMin(select(where, best.position, none));
}

// freq[i] += 64 as a whole-vector store, which the next search loads without a stall.
void addWinBonus(Trainer &t, int32_t i) {
    static const int32_t bonus[7] = {0, 0, 0, 64, 0, 0, 0};
    int32_t *group = &t.freq[static_cast<size_t>(i & ~3)];
    lanes::store(group, _mm_add_epi32(lanes::load(group), lanes::load(&bonus[3 - (i & 3)])));
}

// Distances fit 16 bits: |colour differences| sum to at most 3 × 4095, and the
// bias term (initial − frequency) >> 2 lies in -16384..8192 because a frequency
// stays within min(initial, 1023)..65536 (the decay takes freq >> 10, a win adds
// 64). So biased distances lie in -8192..28669 and no lane saturates.
int32_t pickWinner(Trainer &t, int32_t b, int32_t g, int32_t r) {
    const __m128i targetB = _mm_set1_epi16(static_cast<int16_t>(b));
    const __m128i targetG = _mm_set1_epi16(static_cast<int16_t>(g));
    const __m128i targetR = _mm_set1_epi16(static_cast<int16_t>(r));
    const __m128i initial = _mm_set1_epi32(t.initialFreq);
    const __m128i laneStep = _mm_set1_epi16(kLanes);
    __m128i position = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
    LaneBest best;
    LaneBest bestBiased;
    for (size_t at = 0; at < t.blue.size(); at += kLanes) {
        __m128i floor = lanes::load(&t.padFloor[at]);
        __m128i dist = _mm_add_epi16(_mm_add_epi16(absDiff(lanes::load(&t.blue[at]), targetB),
                                                   absDiff(lanes::load(&t.green[at]), targetG)),
                                     absDiff(lanes::load(&t.red[at]), targetR));
        dist = _mm_max_epi16(dist, floor);
        __m128i freqLo = lanes::load(&t.freq[at]);
        __m128i freqHi = lanes::load(&t.freq[at + 4]);
        __m128i biasLo = _mm_srai_epi32(_mm_sub_epi32(initial, freqLo), 2);
        __m128i biasHi = _mm_srai_epi32(_mm_sub_epi32(initial, freqHi), 2);
        __m128i biased = _mm_sub_epi16(dist, _mm_packs_epi32(biasLo, biasHi));
        keepSmaller(best, dist, position);
        keepSmaller(bestBiased, _mm_max_epi16(biased, floor), position);
        position = _mm_add_epi16(position, laneStep);
        lanes::store(&t.freq[at], _mm_sub_epi32(freqLo, _mm_srai_epi32(freqLo, 10)));
        lanes::store(&t.freq[at + 4], _mm_sub_epi32(freqHi, _mm_srai_epi32(freqHi, 10)));
    }
    addWinBonus(t, firstOfSmallest(best));
    return firstOfSmallest(bestBiased);
}

// (v / 262144) truncated toward zero, per 32-bit lane.
__m128i divideBy262144(__m128i v) {
    __m128i roundUp = _mm_srli_epi32(_mm_srai_epi32(v, 31), 32 - 18);
    return _mm_srai_epi32(_mm_add_epi32(v, roundUp), 18);
}

// c −= (weight × (c − target)) / 262144 for eight lanes. The product is formed by
// _mm_madd_epi16 from the pairs (d, −8d) and (weight & 511, −64 × (weight >> 9)):
// d × (weight & 511) + 512 d × (weight >> 9). Every factor fits 16 bits (|d| <
// 4096, weight ≤ 2^18), and the sum, below 2^30, fits 32.
void pullGroup(int16_t *column, const int16_t *pairs, int32_t target) {
    __m128i c = lanes::load(column);
    __m128i d = _mm_sub_epi16(c, _mm_set1_epi16(static_cast<int16_t>(target)));
    __m128i minus8d = _mm_sub_epi16(_mm_setzero_si128(), _mm_slli_epi16(d, 3));
    __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(d, minus8d), lanes::load(pairs));
    __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(d, minus8d), lanes::load(pairs + 8));
    __m128i step = _mm_packs_epi32(divideBy262144(lo), divideBy262144(hi));
    lanes::store(column, _mm_sub_epi16(c, step));
}

#else

int32_t pickWinner(Trainer &t, int32_t b, int32_t g, int32_t r) {
    int32_t bestDist = std::numeric_limits<int32_t>::max();
    int32_t bestBiasedDist = bestDist;
    int32_t best = 0;
    int32_t bestBiased = 0;
    for (int32_t i = 0; i < t.n; ++i) {
        int32_t dist = std::abs(t.blue[i] - b) + std::abs(t.green[i] - g) + std::abs(t.red[i] - r);
        int32_t biased = dist - ((t.initialFreq - t.freq[i]) >> 2);
        if (dist < bestDist) {
            bestDist = dist;
            best = i;
        }
        if (biased < bestBiasedDist) {
            bestBiasedDist = biased;
            bestBiased = i;
        }
        t.freq[i] -= t.freq[i] >> 10;
    }
    t.freq[best] += 64;
    return bestBiased;
}

// Products stay below 2^30: weights are at most 2^18 and differences below 4096.
void pullGroup(int16_t *column, const int16_t *pairs, int32_t target) {
    for (int32_t k = 0; k < kLanes; ++k) {
        int32_t weight = pairs[2 * k] - pairs[2 * k + 1] * 8;
        int32_t c = column[k];
        column[k] = static_cast<int16_t>(c - (weight * (c - target)) / 262144);
    }
}

#endif

// Moves the winner by alpha / 1024 and neurons w ± m, 0 < m < span, by weight m /
// 262144, whole groups of lanes at a time: the weights are 0 from the span on,
// which leaves those lanes alone. (Padding lanes may move, but only toward a
// target, and they never take part.)
void moveNeurons(Trainer &t, int32_t span, int32_t w, int32_t b, int32_t g, int32_t r) {
    int32_t reach = std::max(span, 1);
    int32_t first = std::max(w - reach + 1, 0) / kLanes * kLanes;
    int32_t end = std::min(w + reach, t.n);
    for (int32_t at = first; at < end; at += kLanes) {
        const int16_t *pairs = &t.weightPairs[2 * static_cast<size_t>(kWeightCentre + at - w)];
        pullGroup(&t.blue[at], pairs, b);
        pullGroup(&t.green[at], pairs, g);
        pullGroup(&t.red[at], pairs, r);
    }
}

// The winner's weight is alpha × 256: truncating (alpha × 256 × d) / 262144 gives
// exactly the truncated (alpha × d) / 1024 of its own move.
void setWeights(Trainer &t, int32_t span, int32_t alpha) {
    std::array<int32_t, kWeightCount> weight{};
    weight[kWeightCentre] = alpha * 256;
    for (int32_t m = 1; m < span; ++m) {
        int32_t value = alpha * (((span * span - m * m) * 256) / (span * span));
        weight[kWeightCentre + m] = value;
        weight[kWeightCentre - m] = value;
    }
    for (size_t k = 0; k < weight.size(); ++k) {
        t.weightPairs[2 * k] = static_cast<int16_t>(weight[k] & 511);
        t.weightPairs[2 * k + 1] = static_cast<int16_t>(-64 * (weight[k] >> 9));
    }
}

int32_t spanOf(int32_t radius) {
    int32_t span = radius >> 6;
    return span <= 1 ? 0 : span;
}

// Three times a prime that does not divide the length, so the samples visit
// every pixel once in a scattered order.
int32_t samplingStep(int32_t length) {
    if (length % 499 != 0)
        return 1497;
    if (length % 491 != 0)
        return 1473;
    if (length % 487 != 0)
        return 1461;
    return 1509;
}

void trainNetwork(Trainer &t, const uint8_t *picture, int32_t length) {
    int32_t pixelCount = length / 3;
    int32_t interval = std::max(pixelCount / 100, 1);
    int32_t alpha = 1024;
    int32_t radius = (t.n / 8) * 64;
    int32_t span = spanOf(radius);
    setWeights(t, span, alpha);
    // Taken modulo the length: on small pictures the step is longer than the picture.
    int32_t step = samplingStep(length) % std::max(length, 1);
    auto advance = [length, step](int32_t offset) {
        return offset >= length - step ? offset - (length - step) : offset + step;
    };
    int32_t offset = 0;
    int32_t ahead = 0; // the samples jump around the picture: fetch a few in advance
    for (int32_t k = 0; k < kPrefetchDistance && pixelCount > 0; ++k)
        ahead = advance(ahead);
    for (int32_t i = 1; i <= pixelCount; ++i) {
        __builtin_prefetch(picture + ahead);
        ahead = advance(ahead);
        int32_t b = picture[offset] * 16;
        int32_t g = picture[offset + 1] * 16;
        int32_t r = picture[offset + 2] * 16;
        moveNeurons(t, span, pickWinner(t, b, g, r), b, g, r);
        offset = advance(offset);
        if (i % interval == 0) {
            alpha -= alpha / 30;
            radius -= radius / 30;
            span = spanOf(radius);
            setWeights(t, span, alpha);
        }
    }
}

// Back to 0..255 with rounding; the neuron's position becomes its palette index.
void storeNetwork(const Trainer &t, QuantNetwork &network) {
    auto unscale = [](int32_t v) { return std::min((v + 8) >> 4, 255); };
    network.neuronCount = t.n;
    for (int32_t i = 0; i < t.n; ++i)
        network.neurons[i] = {unscale(t.blue[i]), unscale(t.green[i]), unscale(t.red[i]), i};
}

bool isUsablePicture(const WorkImage &picture) {
    if (picture.bitsPerPixel != 24 || picture.width < 0 || picture.height < 0)
        return false;
    int64_t length = int64_t{picture.width} * picture.height * 3;
    return length <= std::numeric_limits<int32_t>::max() &&
           picture.pixels.size() >= static_cast<size_t>(length);
}

IndexedImage runQuantiser(QuantNetwork &network, const WorkImage &picture, int32_t colours,
                          bool dither) {
    IndexedImage result;
    result.image = makeBlankImage(picture.width, picture.height, 8);
    int32_t n = std::clamp(colours, 2, kMaxNeurons);
    result.colourCount = n;
    Trainer trainer = makeTrainer(n);
    std::fputs("NeuQuant: Running quantiser learning loop.\n", stdout);
    trainNetwork(trainer, picture.pixels.data(), picture.width * picture.height * 3);
    storeNetwork(trainer, network);
    Palette &palette = result.palette;
    for (int32_t i = 0; i < n; ++i) {
        palette[3 * i] = static_cast<uint8_t>(network.neurons[i][2]);
        palette[3 * i + 1] = static_cast<uint8_t>(network.neurons[i][1]);
        palette[3 * i + 2] = static_cast<uint8_t>(network.neurons[i][0]);
    }
    GreenIndex greenIndex = buildGreenIndex(network);
    std::fputs("NeuQuant: Mapping colors.\n", stdout);
    mapPixels(network, greenIndex, picture, result.image, dither);
    return result;
}

} // namespace

IndexedImage quantiseImage(QuantNetwork &network, const WorkImage &picture, int32_t colours,
                           bool dither) {
    if (!isUsablePicture(picture))
        throw std::bad_alloc(); // a size beyond what the quantiser can address
    return runQuantiser(network, picture, colours, dither);
}
