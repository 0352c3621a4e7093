// Telling a picture file by its first bytes, without decoding it.
#pragma once

#include <string>

// True when the file begins like a PNG, BMP, GIF, JPEG, PSD or binary or text
// PNM picture (TGA has no signature and is not recognised).
bool looksLikePicture(const std::string &fileName);
