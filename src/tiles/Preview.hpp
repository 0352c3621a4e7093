// The preview: the converted image as an 8-bit indexed BMP in the console's colours.
#pragma once

#include "cli/Tables.hpp"
#include "image/WorkImage.hpp"

#include <cstdint>
#include <vector>

constexpr uint32_t kPreviewHeaderBytes = 1078; // file and information headers, colour table

// Widens the reduced components of entries 0..count-1 the way the console shows them.
void expandPreviewPalette(Palette &palette, PreviewWidening widening, int32_t count);

// The whole BMP file of an 8-bit indexed image (top row first in memory).
std::vector<uint8_t> encodePreviewBitmap(const WorkImage &indexed);
