// The C entry points of the image module and the reading of input files.
#include "ImageInternal.hpp"

#include <algorithm>
#include <string>
#include <string_view>

#include <sys/stat.h>

namespace imagemodule {

std::optional<size_t> pixelBytes(int64_t width, int64_t height, int64_t bytesPerPixel) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return std::nullopt;
    if (bytesPerPixel < 1 || bytesPerPixel > 4)
        return std::nullopt;
    size_t row = static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel);
    if (row > kMaxPixelBytes / static_cast<size_t>(height))
        return std::nullopt;
    return row * static_cast<size_t>(height);
}

std::unique_ptr<MorvikImage> makeImage(int64_t width, int64_t height, int channels) {
    if (channels != 3 && channels != 4)
        return nullptr;
    const std::optional<size_t> bytes = pixelBytes(width, height, channels);
    if (!bytes)
        return nullptr;
    auto image = std::make_unique<MorvikImage>();
    image->width = static_cast<int32_t>(width);
    image->height = static_cast<int32_t>(height);
    image->bitsPerPixel = channels * 8;
    image->pixels.assign(*bytes, 0);
    return image;
}

namespace {

// Not thread_local: dynamic TLS in a dlopen'ed module trips LeakSanitizer's
// thread scan, and morvik loads pictures from one thread.
std::string loadError;

} // namespace

void setLoadError(const char *message) {
    if (loadError.empty() && message != nullptr)
        loadError = message; // the first failure names the cause
}

namespace {

bool startsWith(const std::vector<uint8_t> &data, const char *prefix) {
    const std::string_view wanted(prefix);
    return data.size() >= wanted.size() &&
           std::equal(wanted.begin(), wanted.end(), data.begin(),
                      [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

// The reader for the file's signature; TGA files have none, so anything else
// is tried as TGA (no TGA file can begin like the others: its second byte is 0 or 1).
std::unique_ptr<MorvikImage> readByFormat(const std::vector<uint8_t> &data, const char *&format) {
    format = "PNG";
    if (hasPngSignature(data)) {
        if (std::unique_ptr<MorvikImage> image = loadPngQuickly(data))
            return image;
        return loadPng(data);
    }
    const struct {
        const char *signature;
        const char *name;
        std::unique_ptr<MorvikImage> (*load)(const std::vector<uint8_t> &);
    } readers[] = {{"\xFF\xD8", "JPEG", loadJpeg}, {"GIF87a", "GIF", loadGif},
                   {"GIF89a", "GIF", loadGif},     {"BM", "BMP", loadBmp},
                   {"8BPS", "PSD", loadPsd},       {"P5", "PNM", loadPnm},
                   {"P6", "PNM", loadPnm}};
    for (const auto &reader : readers)
        if (startsWith(data, reader.signature)) {
            format = reader.name;
            return reader.load(data);
        }
    format = nullptr; // TGA has no signature: a refusal may mean any other kind of file
    return loadTga(data);
}

// The picture, or null with the reason kept for CXI_LastError: the decoder's
// own words where it gave some, else which format's data was refused.
std::unique_ptr<MorvikImage> loadByFormat(const std::vector<uint8_t> &data) {
    const char *format = nullptr;
    std::unique_ptr<MorvikImage> image = readByFormat(data, format);
    if (!image && format != nullptr)
        setLoadError((std::string("the ") + format +
                      " data is cut short, damaged, or of a kind morvik does not read")
                         .c_str());
    return image;
}

// The whole file, or nothing for anything but a readable, non-empty regular
// file of at most kMaxFileBytes.
std::optional<std::vector<uint8_t>> readWholeFile(const char *fileName) {
    if (fileName == nullptr)
        return std::nullopt;
    FilePtr file(std::fopen(fileName, "rb"));
    if (!file)
        return std::nullopt;
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    if (info.st_size <= 0 || static_cast<uint64_t>(info.st_size) > kMaxFileBytes)
        return std::nullopt;
    std::vector<uint8_t> data(static_cast<size_t>(info.st_size), 0);
    if (std::fread(data.data(), 1, data.size(), file.get()) != data.size())
        return std::nullopt;
    return data;
}

std::unique_ptr<MorvikImage> loadImageFile(const char *fileName) {
    std::optional<std::vector<uint8_t>> data = readWholeFile(fileName);
    if (!data)
        return nullptr;
    return loadByFormat(*data);
}

bool validSize(int32_t width, int32_t height) {
    return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide;
}

} // namespace

} // namespace imagemodule

using namespace imagemodule;

extern "C" {

MorvikImage *CXI_LoadImage(const char *fileName, int32_t, int32_t, int32_t) {
    loadError.clear();
    try {
        return loadImageFile(fileName).release();
    } catch (...) {
        setLoadError("out of memory");
        return nullptr;
    }
}

const char *CXI_LastError(void) {
    return loadError.c_str();
}

int32_t CXI_SaveImage(MorvikImage *image, const char *fileName, int32_t) {
    if (image == nullptr || fileName == nullptr)
        return 0;
    try {
        return savePng(*image, fileName) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

void CXI_FreeImage(MorvikImage *image) {
    std::unique_ptr<MorvikImage> owned(image);
}

uint8_t *CXI_GetBits(MorvikImage *image) {
    return image != nullptr ? image->pixels.data() : nullptr;
}

int32_t CXI_GetWidth(MorvikImage *image) {
    return image != nullptr ? image->width : 0;
}

int32_t CXI_GetHeight(MorvikImage *image) {
    return image != nullptr ? image->height : 0;
}

int32_t CXI_GetBpp(MorvikImage *image) {
    return image != nullptr ? image->bitsPerPixel : 0;
}

int32_t CXI_GetPaletteSize(MorvikImage *image) {
    if (image == nullptr || image->bitsPerPixel != 8)
        return 0;
    return image->paletteEntries * 4;
}

uint8_t *CXI_GetPalette(MorvikImage *image) {
    if (image == nullptr || image->bitsPerPixel != 8 || image->palette.size() < kPaletteBytes)
        return nullptr;
    return image->palette.data();
}

int32_t CXI_Resize(MorvikImage *image, int32_t width, int32_t height, int32_t filter) {
    if (image == nullptr || !validSize(width, height))
        return 0;
    try {
        bool done = filter == 0 ? resizeSmooth(*image, width, height)
                                : resizeNearest(*image, width, height);
        return done ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

} // extern "C"
