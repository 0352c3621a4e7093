// Resampling: nearest neighbour on the stored pixels, smooth filtering through
// stb_image_resize.
#include "ImageInternal.hpp"

#include <cstring>

// The resampler is compiled here, private to the module.
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb/stb_image_resize.h>

namespace imagemodule {

namespace {

// Source coordinate for destination coordinate `to` when `sourceSize` samples
// are spread over `targetSize`: the sample under the destination's centre.
size_t nearestSource(int64_t to, int64_t sourceSize, int64_t targetSize) {
    return static_cast<size_t>(((2 * to + 1) * sourceSize) / (2 * targetSize));
}

std::vector<size_t> sourceColumns(int32_t sourceWidth, int32_t width) {
    std::vector<size_t> columns(static_cast<size_t>(width), 0);
    for (int32_t x = 0; x < width; ++x)
        columns[static_cast<size_t>(x)] = nearestSource(x, sourceWidth, width);
    return columns;
}

// The image as blue, green, red pixels, looked up through its palette.
std::vector<uint8_t> expandPalette(const MorvikImage &image) {
    std::vector<uint8_t> expanded(image.pixels.size() * 3, 0);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        size_t entry = 4 * static_cast<size_t>(image.pixels[i]);
        if (entry + 2 < image.palette.size())
            std::memcpy(&expanded[3 * i], &image.palette[entry], 3);
    }
    return expanded;
}

} // namespace

bool resizeNearest(MorvikImage &image, int32_t width, int32_t height) {
    const size_t pixelSize = static_cast<size_t>(image.bitsPerPixel / 8);
    std::optional<size_t> bytes = pixelBytes(width, height, static_cast<int64_t>(pixelSize));
    if (!bytes || image.pixels.size() < rowBytes(image) * static_cast<size_t>(image.height))
        return false;
    const std::vector<size_t> columns = sourceColumns(image.width, width);
    const size_t sourceStride = rowBytes(image);
    const size_t stride = static_cast<size_t>(width) * pixelSize;
    std::vector<uint8_t> resized(*bytes, 0);
    // Rows are stored bottom first; the formula works on rows counted from the top.
    for (int32_t y = 0; y < height; ++y) {
        size_t sourceY = nearestSource(y, image.height, height);
        const uint8_t *in =
            image.pixels.data() + (static_cast<size_t>(image.height) - 1 - sourceY) * sourceStride;
        uint8_t *out = resized.data() + static_cast<size_t>(height - 1 - y) * stride;
        for (size_t x = 0; x < columns.size(); ++x)
            std::memcpy(out + x * pixelSize, in + columns[x] * pixelSize, pixelSize);
    }
    image.pixels = std::move(resized);
    image.width = width;
    image.height = height;
    return true;
}

bool resizeSmooth(MorvikImage &image, int32_t width, int32_t height) {
    const int channels = image.bitsPerPixel == 32 ? 4 : 3;
    std::optional<size_t> bytes = pixelBytes(width, height, channels);
    if (!bytes || image.pixels.size() < rowBytes(image) * static_cast<size_t>(image.height))
        return false;
    std::vector<uint8_t> expanded;
    const uint8_t *source = image.pixels.data();
    if (image.bitsPerPixel == 8) {
        expanded = expandPalette(image);
        source = expanded.data();
    }
    std::vector<uint8_t> resized(*bytes, 0);
    // The default filter and edge handling of stbir_resize_uint8, with the
    // alpha channel declared so colours are weighted by their coverage.
    int done = stbir_resize_uint8_generic(
        source, image.width, image.height, image.width * channels, resized.data(), width, height,
        width * channels, channels, channels == 4 ? 3 : STBIR_ALPHA_CHANNEL_NONE, 0,
        STBIR_EDGE_CLAMP, STBIR_FILTER_DEFAULT, STBIR_COLORSPACE_LINEAR, nullptr);
    if (done == 0)
        return false;
    image.pixels = std::move(resized);
    image.width = width;
    image.height = height;
    image.bitsPerPixel = channels * 8;
    image.palette.clear();
    image.paletteEntries = 0;
    return true;
}

} // namespace imagemodule
