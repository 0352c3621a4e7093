#include "image/WorkImage.hpp"

#include "common/JobError.hpp"

#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

WorkImage makeBlankImage(int32_t width, int32_t height, int32_t bitsPerPixel) {
    WorkImage image;
    image.width = width;
    image.height = height;
    image.bitsPerPixel = bitsPerPixel;
    if (width >= 0 && height >= 0 && bitsPerPixel > 0)
        image.pixels.assign(pixelBytes(image), 0);
    return image;
}

int64_t paddedSide(int32_t side) {
    int64_t value = side;
    return (value + kTileSide - 1) / kTileSide * kTileSide;
}

void failBackgroundOutside(int32_t bgX, int32_t bgY) {
    char text[96] = {};
    std::snprintf(text, sizeof text, "Error: Background position %d,%d is outside the image.\n",
                  bgX, bgY);
    failJob(text);
}

// The fill colour's bytes: the pixel at (bgX, bgY); the memory holds the
// bottom row first.
static const uint8_t *fillPixel(const PictureView &source, int32_t bgX, int32_t bgY,
                                FillRow fillRow) {
    if (bgX < 0 || bgY < 0 || bgX >= source.width || bgY >= source.height)
        failBackgroundOutside(bgX, bgY);
    const int32_t row = fillRow == FillRow::FromTop ? source.height - 1 - bgY : bgY;
    const size_t pixelSize = bytesPerPixel(source.bitsPerPixel);
    return source.pixels +
           static_cast<size_t>(row) * static_cast<size_t>(source.width) * pixelSize +
           static_cast<size_t>(bgX) * pixelSize;
}

WorkImage padAndFlipImage(const PictureView &source, int32_t bgX, int32_t bgY, FillRow fillRow) {
    int64_t width = paddedSide(source.width);
    int64_t height = paddedSide(source.height);
    bool padWidth = width != source.width;
    bool padHeight = height != source.height;
    if (padWidth)
        std::printf("Warning: Width is not a multiple of 8. Padding to %lld pixels.\n",
                    static_cast<long long>(width));
    if (padHeight)
        std::printf("Warning: Height is not a multiple of 8. Padding to %lld pixels.\n",
                    static_cast<long long>(height));
    const uint8_t *fill = padWidth || padHeight ? fillPixel(source, bgX, bgY, fillRow) : nullptr;
    if (width > INT32_MAX || height > INT32_MAX)
        throw std::bad_alloc();
    WorkImage padded = makeBlankImage(static_cast<int32_t>(width), static_cast<int32_t>(height),
                                      source.bitsPerPixel);
    const size_t pixelSize = bytesPerPixel(source.bitsPerPixel);
    const size_t colourBytes = pixelSize == 1 ? 1 : 3; // a 32-bit pixel's fourth byte stays 0
    const size_t sourceRow = static_cast<size_t>(source.width) * pixelSize;
    for (int64_t i = 0; i < height; ++i) {
        uint8_t *row = padded.pixels.data() + static_cast<size_t>(i) * rowBytes(padded);
        size_t copied = 0;
        if (i < source.height) {
            const uint8_t *from =
                source.pixels + static_cast<size_t>(source.height - 1 - i) * sourceRow;
            std::memcpy(row, from, sourceRow);
            copied = static_cast<size_t>(source.width);
        }
        for (size_t x = copied; x < static_cast<size_t>(width); ++x)
            std::memcpy(row + x * pixelSize, fill, colourBytes);
    }
    return padded;
}
