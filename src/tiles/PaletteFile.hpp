// The palette cut to the console's colour depth, and written in its colour words.
#pragma once

#include "image/WorkImage.hpp"
#include "targets/Targets.hpp"

#include <cstdint>
#include <vector>

// The console's palette: the top `componentBits` bits of every component of
// all 256 entries.
Palette reduceComponents(const Palette &palette, int32_t componentBits);

// Entries 0 and `backgroundIndex` change places under transparency, as the
// pixels do.
int32_t paletteEntryAt(int32_t i, bool transparency, uint8_t backgroundIndex);

// The palette file's bytes: one colour word per entry 0..colourCount-1.
std::vector<uint8_t> encodePalette(const Palette &palette, ColourWord form, int32_t colourCount,
                                   bool transparency, uint8_t backgroundIndex);
