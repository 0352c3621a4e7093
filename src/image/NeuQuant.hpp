// NeuQuant: a one-dimensional self-organising network of n neurons trained on
// the picture's pixels; the trained neurons are the palette.
#pragma once

#include "image/WorkImage.hpp"

#include <array>
#include <cstdint>

constexpr int32_t kMaxNeurons = 256;

// Neuron storage: n, then per neuron blue, green, red and its palette index.
struct QuantNetwork {
    int32_t neuronCount = 0;
    std::array<std::array<int32_t, 4>, kMaxNeurons> neurons{};
};

// Quantises a 24-bit picture (blue, green, red, top row first) to `colours`
// colours (clamped to 2..256). Returns an 8-bit image of the same size with a
// new red, green, blue palette of exactly n entries (the rest zero). Prints
// the two progress lines; throws std::bad_alloc when memory cannot be had.
IndexedImage quantiseImage(QuantNetwork &network, const WorkImage &picture, int32_t colours,
                           bool dither);
