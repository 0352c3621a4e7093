// The image module check: load any file, then look at and resize what loads.
#include "fuzz/FuzzChecks.hpp"
#include "fuzz/FuzzSupport.hpp"

#include "morvik_image.h"

#include <algorithm>
#include <memory>
#include <string_view>

using namespace fuzzing;

namespace {

using ImagePtr = std::unique_ptr<MorvikImage, decltype(&CXI_FreeImage)>;

constexpr int32_t kMaxSide = 65535;
constexpr int32_t kPaletteBytes = 1024;
constexpr int32_t kLargestResize = 64;

// Reads every byte so the sanitizers see any read past the end; the sum goes
// to a volatile so the reads cannot be left out.
void touchBytes(const uint8_t *bytes, size_t count) {
    static volatile uint32_t sink = 0;
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    sink = sink + sum;
}

std::string checkPalette(MorvikImage *image) {
    const int32_t paletteSize = CXI_GetPaletteSize(image);
    const uint8_t *palette = CXI_GetPalette(image);
    if (CXI_GetBpp(image) != 8)
        return paletteSize == 0 ? ""
                                : "palette size " + std::to_string(paletteSize) +
                                      " for a picture without palette";
    if (paletteSize < 0 || paletteSize > kPaletteBytes || paletteSize % 4 != 0)
        return "palette size " + std::to_string(paletteSize);
    if (paletteSize > 0 && palette == nullptr)
        return "no palette bytes for a palette of " + std::to_string(paletteSize);
    if (palette != nullptr)
        touchBytes(palette, static_cast<size_t>(paletteSize));
    return {};
}

std::string checkImage(MorvikImage *image) {
    const int32_t width = CXI_GetWidth(image);
    const int32_t height = CXI_GetHeight(image);
    const int32_t bpp = CXI_GetBpp(image);
    if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide)
        return "size " + std::to_string(width) + "x" + std::to_string(height);
    if (bpp != 8 && bpp != 24 && bpp != 32)
        return "depth " + std::to_string(bpp);
    const uint8_t *bits = CXI_GetBits(image);
    if (bits == nullptr)
        return "no pixel bytes";
    touchBytes(bits, static_cast<size_t>(width) * static_cast<size_t>(height) *
                         static_cast<size_t>(bpp / 8));
    return checkPalette(image);
}

// Resizes with one filter and checks the outcome the interface promises.
std::string checkResize(MorvikImage *image, int32_t width, int32_t height, int32_t filter) {
    const int32_t bppBefore = CXI_GetBpp(image);
    if (CXI_Resize(image, width, height, filter) == 0)
        return checkImage(image);
    if (CXI_GetWidth(image) != width || CXI_GetHeight(image) != height)
        return "resize to " + std::to_string(width) + "x" + std::to_string(height) + " gave " +
               std::to_string(CXI_GetWidth(image)) + "x" + std::to_string(CXI_GetHeight(image));
    const int32_t bpp = CXI_GetBpp(image);
    const bool depthOk = filter == 1 ? bpp == bppBefore : (bpp == 24 || bpp == 32);
    if (!depthOk)
        return "resize with filter " + std::to_string(filter) + " turned depth " +
               std::to_string(bppBefore) + " into " + std::to_string(bpp);
    return checkImage(image);
}

} // namespace

std::string checkImageLoad(const uint8_t *data, size_t size) {
    const std::string path = scratchDir() + "/input.image";
    if (!writeBytes(path, data, size))
        return "cannot write " + path;
    ImagePtr image(CXI_LoadImage(path.c_str(), 1, 0, 0), &CXI_FreeImage);
    if (!image)
        return {};
    std::string failure = checkImage(image.get());
    if (!failure.empty())
        return "loaded: " + failure;
    // The last two bytes pick the new size, leaving the file's header alone.
    const int32_t width = 1 + data[size - 1] % kLargestResize;
    const int32_t height = 1 + (size >= 2 ? data[size - 2] : 0) % kLargestResize;
    failure = checkResize(image.get(), width, height, 1);
    if (failure.empty())
        failure = checkResize(image.get(), height, width, 0);
    return failure;
}

namespace {

// Overwrites the start of bytes with signature, growing it if it is shorter.
void putSignature(std::vector<uint8_t> &bytes, std::string_view signature) {
    if (bytes.size() < signature.size())
        bytes.resize(signature.size(), 0);
    std::copy(signature.begin(), signature.end(), bytes.begin());
}

} // namespace

std::vector<uint8_t> asImageFormat(ImageFormat format, const uint8_t *data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    switch (format) {
    case ImageFormat::Bmp:
        putSignature(bytes, "BM");
        break;
    case ImageFormat::Gif:
        // Either version, as the input's fifth byte picks.
        putSignature(bytes, bytes.size() > 4 && (bytes[4] & 1) != 0 ? "GIF87a" : "GIF89a");
        break;
    case ImageFormat::Jpeg:
        putSignature(bytes, "\xFF\xD8");
        break;
    case ImageFormat::Png:
        putSignature(bytes, "\x89PNG\r\n\x1A\n");
        break;
    case ImageFormat::Pnm:
        putSignature(bytes, bytes.size() > 1 && (bytes[1] & 1) != 0 ? "P5" : "P6");
        break;
    case ImageFormat::Psd:
        putSignature(bytes, "8BPS");
        break;
    case ImageFormat::Tga:
        if (bytes.size() < 2)
            bytes.resize(2, 0);
        bytes[1] &= 1;
        break;
    }
    return bytes;
}

std::string checkImageFormat(ImageFormat format, const uint8_t *data, size_t size) {
    const std::vector<uint8_t> bytes = asImageFormat(format, data, size);
    return checkImageLoad(bytes.data(), bytes.size());
}
