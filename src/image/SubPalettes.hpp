// Spreading a picture's colours over several sub-palettes: each 8x8 tile uses
// one of them, chosen by bits of its name-table entry. Entry 0 of every
// sub-palette is the one shared colour, the background pixel's.
#pragma once

#include "image/WorkImage.hpp"

#include <cstdint>
#include <string>
#include <vector>

struct SubPaletteRequest {
    int32_t maxPalettes = 1;   // n
    int32_t coloursEach = 16;  // C: entries of one sub-palette, the shared one included
    int32_t componentBits = 8; // the console's bits per component
    int32_t bgX = 0;           // the shared colour's pixel, rows counted from the top
    int32_t bgY = 0;
    bool dither = false;
    bool verbose = false;
};

struct SubPaletteResult {
    // Local indexes 0..C-1 (top row first, whole tiles) and the palettes one
    // after the other, C entries each, red, green, blue; colourCount is
    // palettes x C.
    IndexedImage local;
    std::vector<uint8_t> tilePalettes; // per tile position in scan order
    int32_t paletteCount = 0;
    int32_t coloursEach = 0;
    bool exact = true;              // packed without quantising
    double meanSquaredError = 0.0;  // per pixel, summed over red, green and blue
};

// Packs the tiles' colour sets into at most n sub-palettes when they fit,
// else groups the tiles by colour and quantises each group. Prints the
// warnings that name the tiles that forced quantising, and the summary.
SubPaletteResult buildSubPalettes(const IndexedImage &indexed, const SubPaletteRequest &request);

// The preview's picture: each pixel palette x C + its local index.
WorkImage previewIndexes(const SubPaletteResult &result);
