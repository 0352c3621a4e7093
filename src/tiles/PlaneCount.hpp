// How many bit planes a pixel gets, and whether the base colour fits.
#pragma once

#include "cli/Tables.hpp"

#include <cstdint>

// Before colour reduction: no -planes means 0 (the least count); a -planes
// value with a linear or direct format draws a warning.
void settleMinPlanes(int32_t &minPlanes, int32_t formatPlanes);

// The smallest R with 2^R >= colourCount (0 for one colour).
int32_t leastPlaneCount(int32_t colourCount);

// After colour reduction: the plane count for the colours, the format and
// -planes; a -planes value outside 0..Q is replaced by Q with a warning.
int32_t choosePlaneCount(int32_t colourCount, int32_t formatPlanes, int32_t &minPlanes);

// Resets baseColour to 0 with a warning when base + colours do not fit the
// format, then prints the bit-plane line for p1, p2 and p4.
void checkBaseColour(FormatCode format, int32_t colourCount, int32_t planeCount,
                     int32_t &baseColour);
