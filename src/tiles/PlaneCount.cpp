#include "tiles/PlaneCount.hpp"

#include <array>
#include <cstdio>

namespace {

constexpr int32_t kNoPlanesGiven = -1;
constexpr int32_t kMaxPlaneCount = 31;
constexpr int32_t kBytesPerPlane = 8; // one byte per tile row

// How many colours a format holds from the base colour on; 0 means no check.
struct BaseLimit {
    FormatCode format;
    int32_t colours;
    bool reportsPlanes; // the bit-plane line is printed for this format
};

constexpr std::array<BaseLimit, 7> kBaseLimits = {{
    {kFormatP1, 2, true},
    {kFormatP2, 4, true},
    {kFormatP4, 16, true},
    {kFormatP8, 0, false},
    {kFormatL4, 16, false},
    {kFormatL8, 256, false},
    {kFormatD15, 0, false},
}};

const BaseLimit *baseLimitOf(FormatCode format) {
    for (const BaseLimit &limit : kBaseLimits)
        if (limit.format == format)
            return &limit;
    return nullptr;
}

} // namespace

void settleMinPlanes(int32_t &minPlanes, int32_t formatPlanes) {
    if (minPlanes == kNoPlanesGiven)
        minPlanes = 0;
    else if (formatPlanes < 0)
        std::printf("Warning: -planes ignored for linear/direct formats.\n");
}

int32_t leastPlaneCount(int32_t colourCount) {
    int32_t planes = 0;
    while (planes < kMaxPlaneCount && (int64_t{1} << planes) < colourCount)
        ++planes;
    return planes;
}

int32_t choosePlaneCount(int32_t colourCount, int32_t formatPlanes, int32_t &minPlanes) {
    const int32_t least = leastPlaneCount(colourCount);
    if (formatPlanes < 0)
        return -formatPlanes;
    if (minPlanes < 0 || minPlanes > formatPlanes) {
        minPlanes = formatPlanes;
        std::printf("Warning: Bad value for -planes. Using default (%d).\n", formatPlanes);
    }
    return (minPlanes != 0 && minPlanes > least) ? minPlanes : least;
}

void checkBaseColour(FormatCode format, int32_t colourCount, int32_t planeCount,
                     int32_t &baseColour) {
    const BaseLimit *limit = baseLimitOf(format);
    if (limit == nullptr)
        return;
    if (limit->colours != 0 && int64_t{baseColour} + colourCount > limit->colours) {
        std::printf("Warning: base + # colors > %d. Using base=0.\n", limit->colours);
        baseColour = 0;
    }
    if (limit->reportsPlanes)
        std::printf("Using %d bitplanes (%d bytes) for each tile.\n", planeCount,
                    planeCount * kBytesPerPlane);
}
