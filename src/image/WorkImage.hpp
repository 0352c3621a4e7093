// The program's own picture record, and the steps that build it from the
// image module's memory: depth check, palette, padding to whole tiles.
#pragma once

#include "image/ImageLibrary.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

constexpr int32_t kTileSide = 8;
constexpr size_t kPaletteBytes = 768; // 256 triplets

// 256 colour triplets; blue, green, red when taken from the module,
// red, green, blue once colour reduction has made it.
using Palette = std::array<uint8_t, kPaletteBytes>;

struct WorkImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;
    bool ownsPixels = false;
    uint8_t *pixels = nullptr;        // storage.data() when owned, else borrowed memory
    std::vector<uint8_t> storage;     // the pixel memory when owned
    std::shared_ptr<Palette> palette; // shared between images, lives to the end of the run

    WorkImage() = default;
    WorkImage(const WorkImage &) = delete;
    WorkImage &operator=(const WorkImage &) = delete;
};

using WorkImagePtr = std::unique_ptr<WorkImage>;

inline size_t bytesPerPixel(const WorkImage &image) {
    return static_cast<size_t>(image.bitsPerPixel) / 8;
}
inline size_t rowBytes(const WorkImage &image) {
    return static_cast<size_t>(image.width) * bytesPerPixel(image);
}
inline size_t pixelBytes(const WorkImage &image) {
    return rowBytes(image) * static_cast<size_t>(image.height);
}

// A record over the module's memory (bottom row first), not owning it.
WorkImagePtr makeImageFromLibrary(const ImageLibrary &library, MorvikImage *handle);

// A record with a new zero-filled pixel buffer; pixels is null when the
// buffer cannot be had (or the size is not representable).
WorkImagePtr makeBlankImage(int32_t width, int32_t height, int32_t bitsPerPixel);

void releaseImage(WorkImagePtr &image);

// The palette of an 8-bit module image, blue, green, red; null otherwise.
// Entries past the module's entry count are zero.
std::shared_ptr<Palette> extractPalette(const ImageLibrary &library, MorvikImage *handle);

// A side rounded up to the next multiple of 8.
int64_t paddedSide(int32_t side);

enum class PadStatus { Ok, NoMemory, BackgroundOutside };

struct PadResult {
    PadStatus status = PadStatus::Ok;
    WorkImagePtr image;
};

// Turns a bottom-row-first image into a top-row-first one whose sides are
// multiples of 8; new pixels take the colour at (bgX, bgY) counted from the
// bottom row. Prints the padding warnings.
PadResult padAndFlipImage(const WorkImage &source, int32_t bgX, int32_t bgY);
