// Telling a picture file by its first bytes, without decoding it, and why one
// could not be loaded.
#pragma once

#include <string>

// True when the file begins like a PNG, BMP, GIF, JPEG, PSD or binary or text
// PNM picture (TGA has no signature and is not recognised).
bool looksLikePicture(const std::string &fileName);

// Why the image module could not load the file, as a line for the user:
// a missing, unreadable or special file, a format morvik does not read, or
// damaged data (with the decoder's own words when it gave some).
std::string loadFailureReason(const std::string &fileName, const char *decoderMessage);
