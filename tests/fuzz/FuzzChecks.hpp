// The checks behind the fuzz targets in fuzz/. Each takes one fuzzer input and
// returns an empty string when everything it checks holds, else what failed.
// FuzzRegressionTest runs them over the seed corpora and the saved crashes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// First byte: dictionary size and threshold; the rest is a stream. The decoder
// must agree with the plain reference decoder and stay within the bound that
// the stream's length allows.
std::string checkLzssDecode(const uint8_t *data, size_t size);

// First byte: dictionary size and threshold; the rest is encoded, decoded and
// compared, and the stream compared with the reference encoder's.
std::string checkLzssRoundTrip(const uint8_t *data, size_t size);

// The input is an image file for the image module; whatever it loads must be
// consistent and survive resizing with both filters.
std::string checkImageLoad(const uint8_t *data, size_t size);

// The image formats the module reads, for the checks of one format each.
enum class ImageFormat { Bmp, Gif, Jpeg, Png, Pnm, Psd, Tga };

// The input with its first bytes set so that the module reads it as that
// format: the format's signature, or for TGA (which has none) a colour map
// type of 0 or 1 that no other signature has.
std::vector<uint8_t> asImageFormat(ImageFormat format, const uint8_t *data, size_t size);

// checkImageLoad on the input made into a file of one format.
std::string checkImageFormat(ImageFormat format, const uint8_t *data, size_t size);

// The input describes a small PNG and a set of options; the whole program runs
// on them in process and its exit status, messages and files are checked.
std::string checkImageJob(const uint8_t *data, size_t size);

// The input is an argument vector split at NUL bytes, read by parseCommandLine.
std::string checkCommandLine(const uint8_t *data, size_t size);
