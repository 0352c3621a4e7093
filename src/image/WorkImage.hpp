// The program's own picture records, and padding to whole tiles.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int32_t kTileSide = 8;
constexpr size_t kPaletteBytes = 768; // 256 triplets

// 256 colour triplets: blue, green, red as the image module gives them;
// red, green, blue in every palette colour reduction makes.
using Palette = std::array<uint8_t, kPaletteBytes>;

// A picture in memory the program does not own (the image module's):
// rows bottom first, pixels blue, green, red (and a fourth byte at 32 bits).
struct PictureView {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;
    const uint8_t *pixels = nullptr;
};

// A picture that owns its pixels, top row first from padding on.
struct WorkImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;
    std::vector<uint8_t> pixels;
};

inline size_t bytesPerPixel(int32_t bitsPerPixel) {
    return static_cast<size_t>(bitsPerPixel) / 8;
}
inline size_t bytesPerPixel(const WorkImage &image) {
    return bytesPerPixel(image.bitsPerPixel);
}
inline size_t rowBytes(const WorkImage &image) {
    return static_cast<size_t>(image.width) * bytesPerPixel(image);
}
inline size_t pixelBytes(const WorkImage &image) {
    return rowBytes(image) * static_cast<size_t>(image.height);
}

inline PictureView viewOf(const WorkImage &image) {
    return {image.width, image.height, image.bitsPerPixel, image.pixels.data()};
}

// A picture of zero pixels; empty for negative sizes. Throws std::bad_alloc
// (or std::length_error) when the memory cannot be had.
WorkImage makeBlankImage(int32_t width, int32_t height, int32_t bitsPerPixel);

// A side rounded up to the next multiple of 8.
int64_t paddedSide(int32_t side);

// Ends the job: the background position (-bg) lies outside the picture.
[[noreturn]] void failBackgroundOutside(int32_t bgX, int32_t bgY);

// Which row -bg counts from when it picks the padding's colour.
enum class FillRow : uint8_t {
    FromBottom, // the picture's own rule
    FromTop,    // -t: the pixel that becomes colour 0, so the padding is transparent
};

// The padded size, and the bytes of the pixel whose colour the new pixels
// take (null when nothing is added). Prints the padding warnings; ends the
// job when (bgX, bgY) lies outside a picture that needs padding.
struct Padding {
    int32_t width = 0;
    int32_t height = 0;
    const uint8_t *fill = nullptr;
};
Padding planPadding(const PictureView &source, int32_t bgX, int32_t bgY, FillRow fillRow);

// Sets the pixels of an 8-bit padded picture that lie outside the source's
// width and height (the padding) to `value`.
void fillPadding(WorkImage &image, int32_t sourceWidth, int32_t sourceHeight, uint8_t value);

// Turns a bottom-row-first picture into a top-row-first one whose sides are
// multiples of 8; new pixels take the colour at (bgX, bgY). Prints the
// padding warnings.
WorkImage padAndFlipImage(const PictureView &source, int32_t bgX, int32_t bgY,
                          FillRow fillRow = FillRow::FromBottom);

// The picture as palette indexes (8 bits a pixel, top row first, whole
// tiles), or for direct colour as 16-bit colour words without a palette.
struct IndexedImage {
    WorkImage image;
    Palette palette{};       // red, green, blue; entries past colourCount are zero
    int32_t colourCount = 0; // the palette's entries in use
};
