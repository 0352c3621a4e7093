// Laying the tiles' pixels out in the console's pattern bytes.
#pragma once

#include "image/WorkImage.hpp"
#include "targets/Targets.hpp"
#include "tiles/TileSet.hpp"

#include <cstdint>
#include <vector>

struct PixelMapping {
    bool transparency = false;
    uint8_t backgroundIndex = 0;
    int32_t baseColour = 0;
};

// The stored value of a raw palette index (sums modulo 256): under
// transparency the background index and index 0 change places.
uint8_t mapPixel(const PixelMapping &mapping, uint8_t raw);

struct PatternBuffer {
    std::vector<uint8_t> bytes;       // zero-filled, at least `length` bytes
    size_t length = 0;                // the pattern data's length
    std::vector<uint8_t> usedIndices; // distinct raw indexes in order of first appearance
};

// Encodes the unique tiles (or, for the bitmap layout, the whole image) into
// the buffer; false when the image does not fit the layout or the plane
// count. Throws std::bad_alloc when the buffer cannot be had. With `chain` the tiles are read (and
// their indexes recorded) but nothing is stored; the bitmap layout ignores `chain`.
bool encodePatterns(const WorkImage &indexed, const TileSet &tiles, PatternLayout layout,
                    int32_t planeCount, bool chain, const PixelMapping &mapping,
                    PatternBuffer &out);
