// The image job's last stages: the pattern bytes, then the files in the order
// the user sees them announced (palette, name table, patterns, code, preview).
#pragma once

#include "cli/JobPlan.hpp"
#include "tiles/TileEncoder.hpp"
#include "tiles/TileSet.hpp"

// Everything the output files are made from.
struct ConvertedImage {
    IndexedImage indexed;
    Palette consolePalette{}; // the indexed palette cut to the console's colour depth
    int32_t planeCount = 0;
    TileSet tiles;
    std::vector<uint8_t> tilePalettes; // per tile position, with sub-palettes only
    int32_t paletteCount = 1;          // sub-palettes
    WorkImage previewPixels;           // with sub-palettes: palette x C + local index
};

struct EncodedPatterns {
    PixelMapping mapping;
    PatternBuffer buffer;
};

// The warning for pattern data with fewer planes than the console's tile mode
// reads, when no shipped decoder widens them.
void warnIfPlanesShort(const JobPlan &plan, int32_t planeCount);

// Encodes the tiles (or the bitmap) and checks how many indexes they use.
EncodedPatterns encodeImagePatterns(const JobSettings &settings, const JobPlan &plan,
                                    const ConvertedImage &image, int32_t baseColour);

void writeImageOutputs(const JobSettings &settings, const JobPlan &plan,
                       const ConvertedImage &image, const EncodedPatterns &patterns);
