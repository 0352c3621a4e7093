// A plain, step-by-step NeuQuant: one neuron at a time, no shortcuts. The tests hold
// the fast quantiser to it byte for byte and the benchmark measures against it.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

namespace reference {

constexpr int32_t kNetMax = 256;

struct Network {
    int32_t n = 0;
    std::array<std::array<int32_t, 4>, kNetMax> neuron{}; // blue, green, red, palette index
    std::array<int32_t, kNetMax> freq{};
    std::array<int32_t, kNetMax> bias{};
    std::array<int32_t, 32> weight{};
    std::array<int32_t, 256> greenIndex{};
};

struct Result {
    std::vector<uint8_t> palette; // 768 bytes: red, green, blue
    std::vector<uint8_t> indexes; // one per pixel, top row first
    int64_t neighbourMoves = 0;   // calls of moveNeighbours during training
    int32_t interval = 0;
};

inline int32_t pickWinner(Network &net, int32_t b, int32_t g, int32_t r) {
    int32_t bestd = std::numeric_limits<int32_t>::max();
    int32_t bestbiasd = bestd;
    int32_t bestpos = -1;
    int32_t bestbiaspos = -1;
    for (int32_t i = 0; i < net.n; ++i) {
        const auto &p = net.neuron[i];
        int32_t dist = std::abs(p[0] - b) + std::abs(p[1] - g) + std::abs(p[2] - r);
        if (dist < bestd) {
            bestd = dist;
            bestpos = i;
        }
        int32_t biasdist = dist - (net.bias[i] >> 12);
        if (biasdist < bestbiasd) {
            bestbiasd = biasdist;
            bestbiaspos = i;
        }
        int32_t f = net.freq[i] >> 10;
        net.freq[i] -= f;
        net.bias[i] += f << 10;
    }
    net.freq[bestpos] += 64;
    net.bias[bestpos] -= 65536;
    return bestbiaspos;
}

inline void moveWinner(Network &net, int32_t alpha, int32_t w, int32_t b, int32_t g, int32_t r) {
    auto &p = net.neuron[w];
    p[0] -= (alpha * (p[0] - b)) / 1024;
    p[1] -= (alpha * (p[1] - g)) / 1024;
    p[2] -= (alpha * (p[2] - r)) / 1024;
}

inline void moveNeighbours(Network &net, int32_t span, int32_t w, int32_t b, int32_t g, int32_t r) {
    int32_t lo = w - span < -1 ? -1 : w - span;
    int32_t hi = w + span > net.n ? net.n : w + span;
    int32_t j = w + 1;
    int32_t k = w - 1;
    int32_t m = 1;
    while (j < hi || k > lo) {
        int32_t a = net.weight[m++];
        if (j < hi) {
            auto &p = net.neuron[j++];
            p[0] -= (a * (p[0] - b)) / 262144;
            p[1] -= (a * (p[1] - g)) / 262144;
            p[2] -= (a * (p[2] - r)) / 262144;
        }
        if (k > lo) {
            auto &p = net.neuron[k--];
            p[0] -= (a * (p[0] - b)) / 262144;
            p[1] -= (a * (p[1] - g)) / 262144;
            p[2] -= (a * (p[2] - r)) / 262144;
        }
    }
}

inline void setWeights(Network &net, int32_t span, int32_t alpha) {
    for (int32_t k = 0; k < span; ++k)
        net.weight[k] = alpha * (((span * span - k * k) * 256) / (span * span));
}

inline int32_t spanOf(int32_t radius) {
    int32_t span = radius >> 6;
    return span <= 1 ? 0 : span;
}

inline int32_t stepFor(int32_t length) {
    if (length % 499 != 0)
        return 1497;
    if (length % 491 != 0)
        return 1473;
    if (length % 487 != 0)
        return 1461;
    return 1509;
}

inline void trainNetwork(Network &net, const uint8_t *picture, int32_t length, Result &result) {
    int32_t pixelCount = length / 3;
    int32_t interval = pixelCount / 100;
    if (interval == 0)
        interval = 1;
    result.interval = interval;
    int32_t alpha = 1024;
    int32_t radius = (net.n / 8) * 64;
    int32_t span = spanOf(radius);
    setWeights(net, span, alpha);
    int32_t step = stepFor(length);
    int32_t offset = 0;
    for (int32_t i = 0; i < pixelCount;) {
        int32_t b = picture[offset] << 4;
        int32_t g = picture[offset + 1] << 4;
        int32_t r = picture[offset + 2] << 4;
        int32_t w = pickWinner(net, b, g, r);
        moveWinner(net, alpha, w, b, g, r);
        if (span != 0) {
            moveNeighbours(net, span, w, b, g, r);
            ++result.neighbourMoves;
        }
        offset = static_cast<int32_t>((int64_t{offset} + step) % length);
        if (++i % interval == 0) {
            alpha -= alpha / 30;
            radius -= radius / 30;
            span = spanOf(radius);
            setWeights(net, span, alpha);
        }
    }
}

inline void buildGreenIndex(Network &net) {
    int32_t previous = 0;
    int32_t start = 0;
    for (int32_t i = 0; i < net.n; ++i) {
        int32_t smallpos = i;
        int32_t smallval = net.neuron[i][1];
        for (int32_t j = i + 1; j < net.n; ++j) {
            if (net.neuron[j][1] < smallval) {
                smallpos = j;
                smallval = net.neuron[j][1];
            }
        }
        std::swap(net.neuron[i], net.neuron[smallpos]);
        if (smallval != previous) {
            net.greenIndex[previous] = (start + i) >> 1;
            for (int32_t v = previous + 1; v < smallval; ++v)
                net.greenIndex[v] = i;
            previous = smallval;
            start = i;
        }
    }
    net.greenIndex[previous] = (start + net.n - 1) >> 1;
    for (int32_t v = previous + 1; v < 256; ++v)
        net.greenIndex[v] = net.n - 1;
}

inline int32_t searchPlain(const Network &net, int32_t b, int32_t g, int32_t r) {
    int32_t bestd = 1000;
    int32_t best = -1;
    int32_t i = net.greenIndex[g];
    int32_t j = i - 1;
    auto visit = [&](const std::array<int32_t, 4> &p, int32_t d) {
        d = std::abs(d) + std::abs(p[0] - b);
        if (d < bestd) {
            d += std::abs(p[2] - r);
            if (d < bestd) {
                bestd = d;
                best = p[3];
            }
        }
    };
    while (i < net.n || j >= 0) {
        if (i < net.n) {
            int32_t d = net.neuron[i][1] - g;
            if (d >= bestd)
                i = net.n;
            else
                visit(net.neuron[i++], d);
        }
        if (j >= 0) {
            int32_t d = g - net.neuron[j][1];
            if (d >= bestd)
                j = -1;
            else
                visit(net.neuron[j--], d);
        }
    }
    return best;
}

inline int32_t searchDither(const Network &net, int32_t b, int32_t g, int32_t r, int32_t x,
                            int32_t y) {
    int32_t darkd = 1000, darkIndex = -1;
    int32_t lightd = 1000, lightIndex = -1;
    auto visit = [&](const std::array<int32_t, 4> &p) {
        int32_t dg = p[1] - g;
        int32_t dist = std::abs(dg) + std::abs(p[0] - b) + std::abs(p[2] - r);
        int32_t bright = 587 * dg + 299 * (p[2] - r) + 114 * (p[0] - b);
        if (dist == 0) {
            darkd = lightd = 0;
            darkIndex = lightIndex = p[3];
        } else if (bright < 0 && dist < darkd) {
            darkd = dist;
            darkIndex = p[3];
        } else if (bright > 0 && dist < lightd) {
            lightd = dist;
            lightIndex = p[3];
        }
    };
    int32_t i = net.greenIndex[g];
    int32_t j = i - 1;
    while (i < net.n || j >= 0) {
        if (i < net.n) {
            if (net.neuron[i][1] - g >= 1000)
                i = net.n;
            else
                visit(net.neuron[i++]);
        }
        if (j >= 0) {
            if (g - net.neuron[j][1] >= 1000)
                j = -1;
            else
                visit(net.neuron[j--]);
        }
    }
    if (darkIndex < 0 && lightIndex < 0)
        return searchPlain(net, b, g, r);
    if (darkIndex < 0)
        darkIndex = lightIndex;
    if (lightIndex < 0)
        lightIndex = darkIndex;
    return ((x ^ y) & 1) != 0 ? darkIndex : lightIndex;
}

// Quantises width x height pixels (blue, green, red, rows packed, top row first).
inline Result quantise(const uint8_t *picture, int32_t width, int32_t height, int32_t colours,
                       bool dither) {
    Result result;
    Network net;
    net.n = colours < 2 ? 2 : colours > kNetMax ? kNetMax : colours;
    for (int32_t i = 0; i < net.n; ++i) {
        int32_t v =
            static_cast<int32_t>((static_cast<uint32_t>(i) << 12) / static_cast<uint32_t>(net.n));
        net.neuron[i] = {v, v, v, 0};
        net.bias[i] = 0;
        net.freq[i] = 65536 / net.n;
    }
    int32_t length = width * height * 3;
    trainNetwork(net, picture, length, result);
    for (int32_t i = 0; i < net.n; ++i) {
        for (int32_t c = 0; c < 3; ++c) {
            int32_t v = (net.neuron[i][c] + 8) >> 4;
            net.neuron[i][c] = v > 255 ? 255 : v;
        }
        net.neuron[i][3] = i;
    }
    result.palette.assign(768, 0);
    for (int32_t i = 0; i < net.n; ++i)
        for (int32_t c = 0; c < 3; ++c)
            result.palette[3 * i + c] = static_cast<uint8_t>(net.neuron[i][2 - c]);
    buildGreenIndex(net);
    result.indexes.assign(static_cast<size_t>(width) * height, 0);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t *p = picture + (static_cast<size_t>(y) * width + x) * 3;
            int32_t index = dither ? searchDither(net, p[0], p[1], p[2], x, y)
                                   : searchPlain(net, p[0], p[1], p[2]);
            result.indexes[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(index);
        }
    }
    return result;
}

} // namespace reference
