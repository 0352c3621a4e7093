// Reading BMP, GIF (first frame), TGA, JPEG, PNM, PSD and the other formats
// stb_image knows.
#include "ImageInternal.hpp"

#include <climits>

#include <stb/stb_image.h>

namespace imagemodule {

namespace {

// No format stb_image reads packs more pixels into a byte of the file: the
// densest, PIC's run packets, repeat a one-byte value 65535 times in four bytes.
// A header declaring more pixels than this allows is lying, and is refused
// before stb_image allocates and decodes a picture of that size from nothing.
constexpr uint64_t kMaxPixelsPerFileByte = 16384;

bool fileCouldHold(int width, int height, size_t fileBytes) {
    return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <=
           uint64_t{fileBytes} * kMaxPixelsPerFileByte;
}

struct StbFree {
    void operator()(stbi_uc *pixels) const { stbi_image_free(pixels); }
};
using StbPixels = std::unique_ptr<stbi_uc, StbFree>;

// Copies stb's top-row-first red, green, blue(, alpha) rows into the
// bottom-row-first blue, green, red(, alpha) layout.
void copyFlippedBgr(const stbi_uc *source, MorvikImage &image, size_t channels) {
    size_t width = static_cast<size_t>(image.width);
    size_t height = static_cast<size_t>(image.height);
    size_t stride = width * channels;
    for (size_t y = 0; y < height; ++y) {
        const stbi_uc *in = source + y * stride;
        uint8_t *out = image.pixels.data() + (height - 1 - y) * stride;
        for (size_t x = 0; x < width; ++x, in += channels, out += channels) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            if (channels == 4)
                out[3] = in[3];
        }
    }
}

} // namespace

std::unique_ptr<MorvikImage> loadWithStb(const std::vector<uint8_t> &data) {
    if (data.empty() || data.size() > static_cast<size_t>(INT_MAX))
        return nullptr;
    const int length = static_cast<int>(data.size());
    int width = 0;
    int height = 0;
    int fileChannels = 0;
    // The header alone first, so that a lying size is refused before decoding.
    if (stbi_info_from_memory(data.data(), length, &width, &height, &fileChannels) == 0)
        return nullptr;
    const int channels = fileChannels == 4 ? 4 : 3;
    std::optional<size_t> bytes = pixelBytes(width, height, channels);
    if (!bytes || !fileCouldHold(width, height, data.size()))
        return nullptr;
    int loadedWidth = 0;
    int loadedHeight = 0;
    int loadedChannels = 0;
    StbPixels decoded(stbi_load_from_memory(data.data(), length, &loadedWidth, &loadedHeight,
                                            &loadedChannels, channels));
    if (!decoded || loadedWidth != width || loadedHeight != height)
        return nullptr;
    auto image = std::make_unique<MorvikImage>();
    image->width = width;
    image->height = height;
    image->bitsPerPixel = channels * 8;
    image->pixels.assign(*bytes, 0);
    copyFlippedBgr(decoded.get(), *image, static_cast<size_t>(channels));
    return image;
}

} // namespace imagemodule
