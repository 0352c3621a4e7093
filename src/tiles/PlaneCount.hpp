// How many bit planes a pixel gets, and whether the base colour fits.
#pragma once

#include "targets/Formats.hpp"

#include <cstdint>
#include <optional>

// What -planes asks for, settled against the format before any pixel is read.
struct PlaneRule {
    int32_t minPlanes = 0; // the least plane count asked for; 0: the fewest the colours need
    bool ignored = false;  // -planes was given for a linear or direct format
    bool badValue = false; // -planes lay outside 0..the format's planes
};

PlaneRule settlePlaneRule(std::optional<int32_t> requested, const FormatRow &format);

// The warning for -planes with a linear or direct format, when it is owed.
void warnIfPlanesIgnored(const PlaneRule &rule);

// The smallest R with 2^R >= colourCount (0 for one colour).
int32_t leastPlaneCount(int32_t colourCount);

// After colour reduction: the plane count for the colours, the format and
// -planes; prints the warning for a bad -planes value.
int32_t choosePlaneCount(int32_t colourCount, const FormatRow &format, const PlaneRule &rule);

// The base colour, or 0 with a warning when base + colours do not fit the
// format; then prints the bit-plane line for p1, p2 and p4.
int32_t checkBaseColour(const FormatRow &format, int32_t colourCount, int32_t planeCount,
                        int32_t baseColour);
