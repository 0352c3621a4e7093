// The preview: the converted image as an 8-bit indexed BMP in the console's colours.
#pragma once

#include "image/WorkImage.hpp"
#include "targets/Targets.hpp"

#include <cstdint>
#include <vector>

constexpr uint32_t kPreviewHeaderBytes = 1078; // file and information headers, colour table

// The preview's palette: the console palette's entries 0..count-1 widened
// the way the console shows them; the other entries as they are.
Palette expandPreviewPalette(const Palette &palette, PreviewWidening widening, int32_t count);

// The whole BMP file of an 8-bit indexed image (top row first in memory).
std::vector<uint8_t> encodePreviewBitmap(const WorkImage &indexed, const Palette &palette);
