// Types and helpers shared by the image module's source files. Nothing here is
// exported from the shared library; the C entry points live in ImageModule.cpp.
#pragma once

#include "morvik_image.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

// A decoded image. Rows are stored bottom row first and packed without gaps;
// pixels are palette indexes (8 bpp), blue, green, red (24 bpp) or blue,
// green, red, alpha (32 bpp).
struct MorvikImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;
    std::vector<uint8_t> pixels;
    // 8 bpp only: always kPaletteBytes long, entries blue, green, red, 0; the
    // entries past paletteEntries stay zero so any index byte can be looked up.
    std::vector<uint8_t> palette;
    int32_t paletteEntries = 0;
};

namespace imagemodule {

constexpr int64_t kMaxSide = 65535;
constexpr size_t kMaxPixelBytes = size_t{1} << 30;
constexpr size_t kMaxFileBytes = size_t{1} << 30;
constexpr size_t kPaletteEntries = 256;
constexpr size_t kPaletteBytes = 4 * kPaletteEntries;

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Bytes of a width x height picture at bytesPerPixel, or nothing when a side
// lies outside 1..kMaxSide or the total exceeds kMaxPixelBytes.
std::optional<size_t> pixelBytes(int64_t width, int64_t height, int64_t bytesPerPixel);

// Bytes of one packed row; callers have validated the size with pixelBytes.
inline size_t rowBytes(const MorvikImage &image) {
    return static_cast<size_t>(image.width) * static_cast<size_t>(image.bitsPerPixel / 8);
}

// An empty 8 bpp palette buffer: kPaletteBytes zero bytes.
inline std::vector<uint8_t> blankPalette() {
    return std::vector<uint8_t>(kPaletteBytes, 0);
}

// Keeps the decoder's words on why the current load failed, for CXI_LastError.
void setLoadError(const char *message);

// A blank image of 3 or 4 bytes a pixel (blue, green, red(, alpha)), or
// nothing when the size lies outside the limits of pixelBytes.
std::unique_ptr<MorvikImage> makeImage(int64_t width, int64_t height, int channels);

// The first byte of row y, rows counted from the top, of a made image.
inline uint8_t *rowFromTop(MorvikImage &image, size_t y) {
    return image.pixels.data() + (static_cast<size_t>(image.height) - 1 - y) * rowBytes(image);
}

// Sets every alpha byte of a 32 bpp image to 255.
inline void makeOpaque(MorvikImage &image) {
    for (size_t i = 3; i < image.pixels.size(); i += 4)
        image.pixels[i] = 255;
}

// False when a file of fileBytes bytes cannot hold a picture of this many
// pixels at the format's densest packing of pixelsPerByte pixels a byte.
inline bool fileCouldHold(int64_t width, int64_t height, size_t fileBytes, uint64_t pixelsPerByte) {
    return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <=
           uint64_t{fileBytes} * pixelsPerByte;
}

// False when an index points past the palette: such a pixel has no colour.
inline bool indexesWithinPalette(const MorvikImage &image) {
    if (image.bitsPerPixel != 8)
        return true;
    const auto entries = static_cast<size_t>(image.paletteEntries);
    if (entries >= 256)
        return true;
    uint8_t largest = 0; // a scan without an early exit, which the compiler vectorises
    for (uint8_t index : image.pixels)
        largest = std::max(largest, index);
    return largest < entries;
}

// Every reader takes the whole file and gives a complete image or nothing: a
// file whose data ends early, whose indexes point past its palette or whose
// header is out of range or inconsistent is refused.
bool hasPngSignature(const std::vector<uint8_t> &data);
std::unique_ptr<MorvikImage> loadPng(const std::vector<uint8_t> &data);
// Null for any PNG it leaves to loadPng; otherwise what loadPng would give.
std::unique_ptr<MorvikImage> loadPngQuickly(const std::vector<uint8_t> &data);
std::unique_ptr<MorvikImage> loadJpeg(const std::vector<uint8_t> &data);
std::unique_ptr<MorvikImage> loadGif(const std::vector<uint8_t> &data);
std::unique_ptr<MorvikImage> loadBmp(const std::vector<uint8_t> &data);
std::unique_ptr<MorvikImage> loadTga(const std::vector<uint8_t> &data);
std::unique_ptr<MorvikImage> loadPnm(const std::vector<uint8_t> &data);
std::unique_ptr<MorvikImage> loadPsd(const std::vector<uint8_t> &data);
bool savePng(const MorvikImage &image, const char *fileName);

// Both leave the image untouched and return false on failure.
bool resizeNearest(MorvikImage &image, int32_t width, int32_t height);
bool resizeSmooth(MorvikImage &image, int32_t width, int32_t height);

} // namespace imagemodule
