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

// The warning for a -planes value outside 0..the format's planes, when owed.
void warnIfPlanesBad(const PlaneRule &rule, const FormatRow &format);

// The smallest R with 2^R >= colourCount (0 for one colour).
int32_t leastPlaneCount(int64_t colourCount);

// The base colour, or 0 with a warning when base + colours do not fit the format.
int32_t settleBaseColour(const FormatRow &format, int32_t colourCount, int32_t baseColour);

// The plane count: the fewest that hold the largest stored value, colour
// count - 1 + base, within the format's planes; at least -planes asks.
int32_t choosePlaneCount(int32_t colourCount, int32_t baseColour, const FormatRow &format,
                         const PlaneRule &rule);

// The "Using %d bitplanes" line for p1, p2 and p4.
void reportPlaneCount(const FormatRow &format, int32_t planeCount);
