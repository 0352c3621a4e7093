#include "image/WorkImage.hpp"

#include <cstdio>
#include <cstring>
#include <new>

WorkImagePtr makeImageFromLibrary(const ImageLibrary &library, MorvikImage *handle) {
    auto image = std::make_unique<WorkImage>();
    image->bitsPerPixel = library.getBpp(handle);
    image->height = library.getHeight(handle);
    image->width = library.getWidth(handle);
    image->pixels = library.getBits(handle);
    image->ownsPixels = false;
    return image;
}

WorkImagePtr makeBlankImage(int32_t width, int32_t height, int32_t bitsPerPixel) {
    auto image = std::make_unique<WorkImage>();
    image->width = width;
    image->height = height;
    image->bitsPerPixel = bitsPerPixel;
    image->ownsPixels = true;
    if (width < 0 || height < 0 || bitsPerPixel <= 0)
        return image;
    try {
        image->storage.assign(pixelBytes(*image), 0);
        image->pixels = image->storage.data();
    } catch (const std::bad_alloc &) {
        image->pixels = nullptr;
    } catch (const std::length_error &) {
        image->pixels = nullptr;
    }
    return image;
}

void releaseImage(WorkImagePtr &image) {
    image.reset();
}

std::shared_ptr<Palette> extractPalette(const ImageLibrary &library, MorvikImage *handle) {
    if (handle == nullptr || library.getBpp(handle) != 8)
        return nullptr;
    const uint8_t *entries = library.getPalette(handle);
    if (entries == nullptr)
        return nullptr;
    auto palette = std::make_shared<Palette>();
    int32_t count = library.getPaletteSize(handle) / 4;
    count = count < 0 ? 0 : count > 256 ? 256 : count;
    for (int32_t i = 0; i < count; ++i)
        std::memcpy(palette->data() + 3 * i, entries + 4 * i, 3);
    return palette;
}

int64_t paddedSide(int32_t side) {
    int64_t value = side;
    return (value + kTileSide - 1) / kTileSide * kTileSide;
}

// The fill colour's bytes: the pixel at (bgX, bgY), rows counted from the bottom.
static const uint8_t *fillPixel(const WorkImage &source, int32_t bgX, int32_t bgY) {
    if (bgX < 0 || bgY < 0 || bgX >= source.width || bgY >= source.height)
        return nullptr;
    return source.pixels + static_cast<size_t>(bgY) * rowBytes(source) +
           static_cast<size_t>(bgX) * bytesPerPixel(source);
}

PadResult padAndFlipImage(const WorkImage &source, int32_t bgX, int32_t bgY) {
    PadResult result;
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
    const uint8_t *fill = nullptr;
    if (padWidth || padHeight) {
        fill = fillPixel(source, bgX, bgY);
        if (fill == nullptr) {
            result.status = PadStatus::BackgroundOutside;
            return result;
        }
    }
    if (width > INT32_MAX || height > INT32_MAX) {
        result.status = PadStatus::NoMemory;
        return result;
    }
    WorkImagePtr padded = makeBlankImage(static_cast<int32_t>(width), static_cast<int32_t>(height),
                                         source.bitsPerPixel);
    if (padded->pixels == nullptr) {
        result.status = PadStatus::NoMemory;
        return result;
    }
    size_t pixelSize = bytesPerPixel(source);
    size_t colourBytes = pixelSize == 1 ? 1 : 3; // a 32-bit pixel's fourth byte stays 0
    size_t sourceRow = rowBytes(source);
    for (int64_t i = 0; i < height; ++i) {
        uint8_t *row = padded->pixels + static_cast<size_t>(i) * rowBytes(*padded);
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
    result.image = std::move(padded);
    return result;
}
