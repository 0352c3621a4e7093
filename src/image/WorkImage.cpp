#include "image/WorkImage.hpp"

#include "common/JobError.hpp"

#include <algorithm>
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

Padding planPadding(const PictureView &source, int32_t bgX, int32_t bgY, FillRow fillRow) {
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
    return {static_cast<int32_t>(width), static_cast<int32_t>(height), fill};
}

WorkImage padAndFlipImage(const PictureView &source, int32_t bgX, int32_t bgY, FillRow fillRow) {
    const Padding padding = planPadding(source, bgX, bgY, fillRow);
    const int64_t width = padding.width;
    const int64_t height = padding.height;
    const uint8_t *fill = padding.fill;
    WorkImage padded = makeBlankImage(padding.width, padding.height, source.bitsPerPixel);
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

void fillPadding(WorkImage &image, int32_t sourceWidth, int32_t sourceHeight, uint8_t value) {
    const auto width = static_cast<size_t>(image.width);
    for (size_t y = 0; y < static_cast<size_t>(image.height); ++y) {
        uint8_t *row = image.pixels.data() + y * width;
        const size_t from = y < static_cast<size_t>(sourceHeight) ? static_cast<size_t>(sourceWidth) : 0;
        std::fill(row + from, row + width, value);
    }
}
