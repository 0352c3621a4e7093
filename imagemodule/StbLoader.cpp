// Reading BMP, GIF (first frame), TGA, JPEG, PNM, PSD and the other formats
// stb_image knows.
#include "ImageInternal.hpp"

#include <algorithm>
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

// Copies stb's top-row-first grey, grey and alpha, red, green and blue, or red, green,
// blue and alpha rows into the bottom-row-first blue, green, red(, alpha) layout.
// Samples of two bytes (16-bit PNM, big-endian in the file) keep their high byte.
void copyFlippedBgr(const stbi_uc *source, size_t sourceChannels, size_t sampleBytes,
                    MorvikImage &image, size_t channels) {
    size_t width = static_cast<size_t>(image.width);
    size_t height = static_cast<size_t>(image.height);
    const bool colour = sourceChannels >= 3;
    for (size_t y = 0; y < height; ++y) {
        const stbi_uc *in = source + y * width * sourceChannels * sampleBytes;
        uint8_t *out = image.pixels.data() + (height - 1 - y) * width * channels;
        for (size_t x = 0; x < width; ++x, in += sourceChannels * sampleBytes, out += channels) {
            const auto sample = [&](size_t channel) { return in[channel * sampleBytes]; };
            out[0] = sample(colour ? 2 : 0);
            out[1] = sample(colour ? 1 : 0);
            out[2] = sample(0);
            if (channels == 4)
                out[3] = sourceChannels == 4 ? sample(3) : sourceChannels == 2 ? sample(1) : 255;
        }
    }
}

bool pnmSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// stb_image leaves a binary PNM's picture unfilled, stale heap bytes and all, when
// fewer sample bytes follow the header than the header asks for: such a file is cut
// short and refused here. The header is read as stb_image reads it: the magic, then
// width, height and maximum value, each after white space and comments, and the one
// byte that ends the maximum value. Gives the bytes per sample, 1 or 2, or nothing.
std::optional<size_t> pnmSampleBytes(const std::vector<uint8_t> &data, int width, int height,
                                     int fileChannels) {
    size_t position = 2;
    const auto next = [&]() -> int { return position < data.size() ? data[position++] : -1; };
    int c = next();
    uint32_t maxValue = 0;
    for (int field = 0; field < 3; ++field) {
        for (;;) {
            while (pnmSpace(c))
                c = next();
            if (c != '#')
                break;
            while (c != '\n' && c != '\r' && c != -1)
                c = next();
        }
        maxValue = 0;
        for (; c >= '0' && c <= '9'; c = next())
            maxValue = std::min<uint32_t>(maxValue * 10 + static_cast<uint32_t>(c - '0'), 1u << 20);
    }
    if (c == -1)
        return std::nullopt;
    const size_t sampleBytes = maxValue > 255 ? 2 : 1;
    const uint64_t needed = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) *
                            static_cast<uint64_t>(fileChannels) * sampleBytes;
    if (data.size() - position < needed)
        return std::nullopt;
    return sampleBytes;
}

bool isBinaryPnm(const std::vector<uint8_t> &data) {
    return data.size() >= 2 && data[0] == 'P' && (data[1] == '5' || data[1] == '6');
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
    size_t sampleBytes = 1;
    if (isBinaryPnm(data)) {
        const std::optional<size_t> pnmBytes = pnmSampleBytes(data, width, height, fileChannels);
        if (!pnmBytes)
            return nullptr;
        sampleBytes = *pnmBytes;
    }
    int loadedWidth = 0;
    int loadedHeight = 0;
    int loadedChannels = 0;
    // Decoded with the file's own channels: stb_image's conversion to other channel
    // counts treats 16-bit PNM samples as 8-bit ones and reads past its buffer. Its
    // 16-bit reading hands the samples over as the file stores them, big-endian, where
    // its 8-bit reading would keep the low byte.
    StbPixels decoded(sampleBytes == 2 ? reinterpret_cast<stbi_uc *>(stbi_load_16_from_memory(
                                             data.data(), length, &loadedWidth, &loadedHeight,
                                             &loadedChannels, 0))
                                       : stbi_load_from_memory(data.data(), length, &loadedWidth,
                                                               &loadedHeight, &loadedChannels, 0));
    if (!decoded || loadedWidth != width || loadedHeight != height ||
        loadedChannels != fileChannels || loadedChannels < 1 || loadedChannels > 4)
        return nullptr;
    auto image = std::make_unique<MorvikImage>();
    image->width = width;
    image->height = height;
    image->bitsPerPixel = channels * 8;
    image->pixels.assign(*bytes, 0);
    copyFlippedBgr(decoded.get(), static_cast<size_t>(loadedChannels), sampleBytes, *image,
                   static_cast<size_t>(channels));
    return image;
}

} // namespace imagemodule
