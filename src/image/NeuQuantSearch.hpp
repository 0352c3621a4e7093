// The mapping half of NeuQuant: sorting the trained neurons by green and finding
// each pixel's palette index.
#pragma once

#include "image/NeuQuant.hpp"

#include <array>
#include <cstdint>

// For each green value, the sorted position where the search starts.
using GreenIndex = std::array<int32_t, 256>;

// Sorts the neurons by green (selection sort, first smallest wins ties) and
// builds the start positions. Neuron values must already be 0..255.
GreenIndex buildGreenIndex(QuantNetwork &network);

// Writes the palette index of every pixel of the 24-bit picture into the 8-bit
// result of the same size. May throw std::bad_alloc.
void mapPixels(const QuantNetwork &network, const GreenIndex &greenIndex, const WorkImage &picture,
               WorkImage &result, bool dither);
