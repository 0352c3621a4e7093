// Counting an image's colours and turning it into an image of palette indexes.
#pragma once

#include "image/NeuQuant.hpp"
#include "image/WorkImage.hpp"

#include <cstdint>
#include <vector>

// A colour as counted: red, green, blue in bytes 0..2 for 24- and 32-bit
// pixels; the palette index in byte 3 for 8-bit pixels.
using ColourKey = uint32_t;
using ColourList = std::vector<ColourKey>;

ColourKey colourKeyOf(const uint8_t *pixel, int32_t bitsPerPixel);

// The distinct colours of the image in its own row order, in order of first
// appearance; stops once the list holds more than `limit` keys (0: no stop).
// The same list for every thread count.
ColourList countColours(const PictureView &picture, int32_t limit, int32_t threads = 1);

// Counting a 24- or 32-bit picture and numbering its pixels in one pass.
struct NumberedColours {
    ColourList colours; // as countColours gives them
    WorkImage numbered; // empty when there are more colours than the limit
};

// The colour list as countColours(picture, limit) gives it and, when it holds
// at most `limit` (1..256) colours, the picture as list positions: 8 bits a
// pixel, top row first, at the padded size with the padding still to fill.
NumberedColours countAndNumberColours(const PictureView &picture, int32_t paddedWidth,
                                      int32_t paddedHeight, int32_t limit, int32_t threads);

// The numbered picture with its padding set to the number of the fill colour.
WorkImage padNumberedPicture(NumberedColours counted, const PictureView &picture,
                             const Padding &padding);

// The indexed image of a picture numbered and padded that way.
IndexedImage numberedImage(const ColourList &list, WorkImage numbered);

// The list's colours as a red, green, blue palette.
Palette paletteOfColours(const ColourList &list);

// Every distinct colour of the picture, however many.
int64_t countDistinctColours(const PictureView &picture);

// True when some pixel of a 32-bit picture is not fully opaque.
bool hasTranslucentPixel(const PictureView &picture);

// Position of the key in the list, or -1.
int32_t findColour(const ColourList &list, ColourKey key);

struct ReductionRequest {
    bool directColour = false; // d15: 15-bit colour words instead of indexes
    int32_t limit = 0;         // q
    bool dither = false;
    bool verbose = false;
    int32_t threads = 1; // -j: the same image for every count
};

// Turns the padded picture into the indexed image. An 8-bit picture is
// renumbered in its own memory; `sourcePalette` is its blue, green, red
// palette. Throws std::bad_alloc when memory cannot be had.
IndexedImage reduceColours(const ColourList &list, WorkImage padded, const Palette &sourcePalette,
                           QuantNetwork &network, const ReductionRequest &request);
