// Reading PNG files through libpng.
//
// libpng reports errors with longjmp. The functions that run between setjmp
// and a libpng call keep no objects with destructors of their own: every
// buffer lives in the caller's frame and is only reached through references.
#include "ImageInternal.hpp"

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include <png.h>

namespace imagemodule {

namespace {

constexpr size_t kSignatureBytes = 8;
// Largest ancillary chunk libpng may allocate (text, ICC profiles and the like).
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t{8} << 20;
// Deflate expands at most 1032-fold (a 258-byte match in two bits).
constexpr uint64_t kMaxDeflateRatio = 1032;
// The ancillary chunks libpng knows; none of them changes the pixels morvik
// asks for, so all are skipped unread, whatever length they claim.
constexpr png_byte kIgnoredChunks[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0"
                                      "pCAL\0pHYs\0sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0"
                                      "tRNS\0zTXt";

struct MemoryReader {
    const uint8_t *data = nullptr;
    size_t size = 0;
    size_t offset = 0;
};

struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;

    PngReader() = default;
    PngReader(const PngReader &) = delete;
    PngReader &operator=(const PngReader &) = delete;
    ~PngReader() { png_destroy_read_struct(&png, &info, nullptr); }
};

void readFromMemory(png_structp png, png_bytep out, size_t length) {
    auto *input = static_cast<MemoryReader *>(png_get_io_ptr(png));
    if (input == nullptr || input->offset > input->size || length > input->size - input->offset)
        png_error(png, "unexpected end of file");
    std::memcpy(out, input->data + input->offset, length);
    input->offset += length;
}

[[noreturn]] void raisePngError(png_structp png, png_const_charp message) {
    setLoadError(message);
    png_longjmp(png, 1);
}

void ignorePngWarning(png_structp, png_const_charp) {}

// Bytes per pixel delivered for a colour type: indexes, blue-green-red, or
// blue-green-red-alpha for anything with an alpha channel.
int outputChannels(int colorType) {
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        return 1;
    return (colorType & PNG_COLOR_MASK_ALPHA) != 0 ? 4 : 3;
}

void setUpTransforms(png_structp png, int colorType, int bitDepth) {
    if (bitDepth == 16)
        png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_packing(png);
    } else {
        if ((colorType & PNG_COLOR_MASK_COLOR) == 0) {
            if (bitDepth < 8)
                png_set_expand_gray_1_2_4_to_8(png);
            png_set_gray_to_rgb(png);
        }
        png_set_bgr(png);
    }
    png_set_interlace_handling(png);
}

bool copyPalette(png_structp png, png_infop info, MorvikImage &image) {
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &entries, &count) == 0 || entries == nullptr || count < 1 ||
        static_cast<size_t>(count) > kPaletteEntries)
        return false;
    image.palette = blankPalette();
    for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
        image.palette[4 * i] = entries[i].blue;
        image.palette[4 * i + 1] = entries[i].green;
        image.palette[4 * i + 2] = entries[i].red;
    }
    image.paletteEntries = count;
    return true;
}

// False when a file of this size cannot hold the picture its header declares,
// whatever its compressed data: the pixels alone are width x height x depth bits.
bool fileCouldHold(png_structp png, png_infop info, size_t fileBytes) {
    uint64_t bits = uint64_t{png_get_image_width(png, info)} * png_get_image_height(png, info) *
                    png_get_bit_depth(png, info) * png_get_channels(png, info);
    return bits / 8 <= uint64_t{fileBytes} * kMaxDeflateRatio;
}

// Reads the header, refuses oversized pictures (and pictures larger than the
// file could hold) before anything large is allocated, sets up the transforms
// and sizes the pixel buffer.
bool prepareImage(png_structp png, png_infop info, size_t fileBytes, MorvikImage &image) {
    png_read_info(png, info);
    png_uint_32 width = png_get_image_width(png, info);
    png_uint_32 height = png_get_image_height(png, info);
    int colorType = png_get_color_type(png, info);
    int bitDepth = png_get_bit_depth(png, info);
    int channels = outputChannels(colorType);
    std::optional<size_t> bytes = pixelBytes(width, height, channels);
    if (!bytes) {
        setLoadError("the picture is larger than morvik takes");
        return false;
    }
    if (!fileCouldHold(png, info, fileBytes)) {
        setLoadError("the file is too short for the picture its header declares");
        return false;
    }
    setUpTransforms(png, colorType, bitDepth);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * static_cast<size_t>(channels))
        return false;
    if (colorType == PNG_COLOR_TYPE_PALETTE && !copyPalette(png, info, image))
        return false;
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);
    image.bitsPerPixel = channels * 8;
    image.pixels.assign(*bytes, 0);
    return true;
}

// Row pointers in top-to-bottom order into the bottom-row-first buffer.
void pointRows(MorvikImage &image, std::vector<png_bytep> &rows) {
    size_t stride = rowBytes(image);
    size_t height = static_cast<size_t>(image.height);
    rows.assign(height, nullptr);
    for (size_t y = 0; y < height; ++y)
        rows[y] = image.pixels.data() + (height - 1 - y) * stride;
}

bool decodePng(PngReader &reader, MemoryReader &input, MorvikImage &image,
               std::vector<png_bytep> &rows) {
    png_structp png = reader.png;
    png_infop info = reader.info;
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_read_fn(png, &input, readFromMemory);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks,
                                static_cast<int>(sizeof kIgnoredChunks / 5));
    if (!prepareImage(png, info, input.size, image))
        return false;
    pointRows(image, rows);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    return true;
}

} // namespace

bool hasPngSignature(const std::vector<uint8_t> &data) {
    return data.size() >= kSignatureBytes && png_sig_cmp(data.data(), 0, kSignatureBytes) == 0;
}

std::unique_ptr<MorvikImage> loadPng(const std::vector<uint8_t> &data) {
    if (!hasPngSignature(data))
        return nullptr;
    PngReader reader;
    reader.png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, raisePngError, ignorePngWarning);
    if (reader.png == nullptr)
        return nullptr;
    reader.info = png_create_info_struct(reader.png);
    if (reader.info == nullptr)
        return nullptr;
    auto image = std::make_unique<MorvikImage>();
    std::vector<png_bytep> rows;
    MemoryReader input{data.data(), data.size(), 0};
    if (!decodePng(reader, input, *image, rows) || !indexesWithinPalette(*image))
        return nullptr;
    return image;
}

} // namespace imagemodule
