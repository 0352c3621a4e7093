// Writing images as PNG files through libpng. As in PngLoader.cpp, the code
// that runs under setjmp keeps its buffers in the caller's frame.
#include "ImageInternal.hpp"

#include <algorithm>
#include <csetjmp>

#include <png.h>

namespace imagemodule {

namespace {

struct PngWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;

    PngWriter() = default;
    PngWriter(const PngWriter &) = delete;
    PngWriter &operator=(const PngWriter &) = delete;
    ~PngWriter() { png_destroy_write_struct(&png, &info); }
};

[[noreturn]] void raisePngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void ignorePngWarning(png_structp, png_const_charp) {}

int colorTypeFor(int32_t bitsPerPixel) {
    switch (bitsPerPixel) {
    case 8:
        return PNG_COLOR_TYPE_PALETTE;
    case 24:
        return PNG_COLOR_TYPE_RGB;
    case 32:
        return PNG_COLOR_TYPE_RGB_ALPHA;
    default:
        return -1;
    }
}

// The PLTE entries: the image's palette, extended with black so that every
// index used in the pixels has an entry.
std::vector<png_color> paletteFor(const MorvikImage &image) {
    size_t used = 0;
    if (!image.pixels.empty())
        used = static_cast<size_t>(*std::max_element(image.pixels.begin(), image.pixels.end())) + 1;
    size_t count = std::max(static_cast<size_t>(std::max(image.paletteEntries, 1)), used);
    count = std::min(count, kPaletteEntries);
    std::vector<png_color> entries(count, png_color{0, 0, 0});
    for (size_t i = 0; i < count && 4 * i + 2 < image.palette.size(); ++i)
        entries[i] =
            png_color{image.palette[4 * i + 2], image.palette[4 * i + 1], image.palette[4 * i]};
    return entries;
}

// Row pointers from the top row down into the bottom-row-first buffer. libpng
// copies each row before transforming it, so the pixels are never modified.
std::vector<png_bytep> topDownRows(const MorvikImage &image) {
    size_t stride = rowBytes(image);
    size_t height = static_cast<size_t>(image.height);
    std::vector<png_bytep> rows(height, nullptr);
    auto *pixels = const_cast<uint8_t *>(image.pixels.data());
    for (size_t y = 0; y < height; ++y)
        rows[y] = pixels + (height - 1 - y) * stride;
    return rows;
}

bool encodePng(PngWriter &writer, std::FILE *file, const MorvikImage &image, int colorType,
               std::vector<png_bytep> &rows, std::vector<png_color> &palette) {
    png_structp png = writer.png;
    png_infop info = writer.info;
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8, colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_write_info(png, info);
    if (colorType != PNG_COLOR_TYPE_PALETTE)
        png_set_bgr(png);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    return true;
}

bool validForWriting(const MorvikImage &image) {
    std::optional<size_t> bytes = pixelBytes(image.width, image.height, image.bitsPerPixel / 8);
    return colorTypeFor(image.bitsPerPixel) >= 0 && bytes && image.pixels.size() >= *bytes;
}

} // namespace

bool savePng(const MorvikImage &image, const char *fileName) {
    if (!validForWriting(image))
        return false;
    const int colorType = colorTypeFor(image.bitsPerPixel);
    std::vector<png_bytep> rows = topDownRows(image);
    std::vector<png_color> palette;
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        palette = paletteFor(image);
    PngWriter writer;
    writer.png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, raisePngError, ignorePngWarning);
    if (writer.png == nullptr)
        return false;
    writer.info = png_create_info_struct(writer.png);
    if (writer.info == nullptr)
        return false;
    FilePtr file(std::fopen(fileName, "wb"));
    if (!file)
        return false;
    bool written = encodePng(writer, file.get(), image, colorType, rows, palette);
    bool closed = std::fclose(file.release()) == 0;
    if (written && closed)
        return true;
    std::remove(fileName);
    return false;
}

} // namespace imagemodule
