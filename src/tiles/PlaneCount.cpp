#include "tiles/PlaneCount.hpp"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int32_t kMaxPlaneCount = 31;
constexpr int32_t kBytesPerPlane = 8; // one byte per tile row

} // namespace

PlaneRule settlePlaneRule(std::optional<int32_t> requested, const FormatRow &format) {
    PlaneRule rule;
    if (!requested)
        return rule;
    rule.minPlanes = *requested;
    if (format.kind != FormatKind::Planar) {
        rule.ignored = true;
    } else if (*requested < 0 || *requested > format.bitsPerPixel) {
        rule.badValue = true;
        rule.minPlanes = format.bitsPerPixel;
    }
    return rule;
}

void warnIfPlanesIgnored(const PlaneRule &rule) {
    if (rule.ignored)
        std::printf("Warning: -planes ignored for linear/direct formats.\n");
}

void warnIfPlanesBad(const PlaneRule &rule, const FormatRow &format) {
    if (rule.badValue && format.kind == FormatKind::Planar)
        std::printf("Warning: Bad value for -planes. Using default (%d).\n", format.bitsPerPixel);
}

int32_t leastPlaneCount(int64_t colourCount) {
    int32_t planes = 0;
    while (planes < kMaxPlaneCount && (int64_t{1} << planes) < colourCount)
        ++planes;
    return planes;
}

int32_t settleBaseColour(const FormatRow &format, int32_t colourCount, int32_t baseColour) {
    if (format.baseLimit != 0 && int64_t{baseColour} + colourCount > format.baseLimit) {
        std::printf("Warning: base + # colors > %d. Using base=0.\n", format.baseLimit);
        return 0;
    }
    return baseColour;
}

int32_t choosePlaneCount(int32_t colourCount, int32_t baseColour, const FormatRow &format,
                         const PlaneRule &rule) {
    if (format.kind != FormatKind::Planar)
        return format.bitsPerPixel;
    // Stored values wrap at 256, so a negative base is left out as it always was.
    const int64_t values = int64_t{colourCount} + (baseColour > 0 ? baseColour : 0);
    const int32_t least = std::min(leastPlaneCount(values), format.bitsPerPixel);
    return (rule.minPlanes != 0 && rule.minPlanes > least) ? rule.minPlanes : least;
}

void reportPlaneCount(const FormatRow &format, int32_t planeCount) {
    if (format.reportsPlanes)
        std::printf("Using %d bitplanes (%d bytes) for each tile.\n", planeCount,
                    planeCount * kBytesPerPlane);
}
