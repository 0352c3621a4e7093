// Viewer ROMs: a small program for the console, built with the console's own
// assembler at build time and embedded here, followed by the picture's data,
// that sets up the video chip and shows the picture from its top-left corner.
#pragma once

#include "targets/Targets.hpp"

#include <cstdint>
#include <string>
#include <vector>

// What the viewer shows: the same bytes the .pal, .nam and .pat files hold.
struct RomPicture {
    int32_t columns = 0;      // tiles across the map
    int32_t rows = 0;         // tiles down the map
    int32_t tileCount = 0;    // unique tiles in `patterns`
    int32_t planeCount = 0;   // planes stored per tile row (planar layouts)
    int32_t tilePlanes = 0;   // planes the console's tile mode reads (0: not planar)
    int32_t paletteCount = 1; // sub-palettes in `palette`
    std::vector<uint8_t> palette;  // colour words, as in .pal
    std::vector<uint8_t> names;    // name table entries, as in .nam
    std::vector<uint8_t> patterns; // raw pattern data, as in .pat
};

// The ROM size for `bytes` of contents: `least` doubled until they fit (the
// consoles mirror a ROM that is a power of two in size).
size_t powerOfTwoRomSize(size_t bytes, size_t least);

// Why the viewer cannot show the picture, as the job's error message naming
// the limit and the figure; "" when it can.
std::string viewerRomProblem(RomKind kind, const RomPicture &picture);

// The whole ROM image. The picture must have passed viewerRomProblem.
std::vector<uint8_t> buildViewerRom(RomKind kind, const RomPicture &picture);
