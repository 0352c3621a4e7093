// Reading JPEG files through libjpeg: grey, colour and CMYK pictures, baseline,
// progressive or arithmetic-coded. libjpeg makes up the rest of a picture whose
// data ends early or is damaged and only warns; such a warning refuses the file.
//
// libjpeg reports errors with longjmp. The functions between setjmp and the
// libjpeg calls keep no objects with destructors of their own: every buffer
// lives in the caller's frame and is only reached through references.
#include "ImageInternal.hpp"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include <jerror.h>

namespace imagemodule {

namespace {

// A block of 64 pixels costs at least a bit for its DC difference and one for
// its end of block; progressive scans can spend a single bit on it.
constexpr uint64_t kMaxPixelsPerFileByte = 1024;
// A progressive picture needs about ten scans; each costs a pass over all blocks.
constexpr int kMaxScans = 256;
constexpr long kMaxMemoryBytes = long{1} << 30;

struct JpegError {
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
};

[[noreturn]] void raiseJpegError(j_common_ptr info) {
    char message[JMSG_LENGTH_MAX] = {};
    info->err->format_message(info, message);
    setLoadError(message);
    std::longjmp(reinterpret_cast<JpegError *>(info->err)->jump, 1);
}

// Warnings about the file's header fields are harmless; every other one means
// that the data ends early or is damaged and libjpeg made up what it lacked.
bool harmlessWarning(int code) {
    return code == JWRN_ADOBE_XFORM || code == JWRN_JFIF_MAJOR || code == JWRN_BOGUS_ICC;
}

void onJpegMessage(j_common_ptr info, int level) {
    if (level < 0 && !harmlessWarning(info->err->msg_code))
        raiseJpegError(info);
}

void onJpegProgress(j_common_ptr info) {
    const auto *decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > kMaxScans)
        raiseJpegError(info);
}

struct JpegReader {
    jpeg_decompress_struct info{};
    JpegError error{};
    jpeg_progress_mgr progress{};

    JpegReader() {
        info.err = jpeg_std_error(&error.manager);
        error.manager.error_exit = raiseJpegError;
        error.manager.emit_message = onJpegMessage;
        progress.progress_monitor = onJpegProgress;
        jpeg_create_decompress(&info);
        info.progress = &progress;
        info.mem->max_memory_to_use = kMaxMemoryBytes;
    }
    JpegReader(const JpegReader &) = delete;
    JpegReader &operator=(const JpegReader &) = delete;
    ~JpegReader() { jpeg_destroy_decompress(&info); }
};

// C * K / 255, rounded as two shifts: CMYK as Adobe's programs store it, with
// 255 for no ink, turned into red, green and blue.
uint8_t blend(uint32_t value, uint32_t black) {
    const uint32_t t = value * black + 128;
    return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

// One decoded row of grey, red-green-blue or CMYK samples into blue, green, red.
void convertRow(const std::vector<uint8_t> &row, int components, uint8_t *out) {
    const size_t width = row.size() / static_cast<size_t>(components);
    for (size_t x = 0; x < width; ++x, out += 3) {
        const uint8_t *in = &row[x * static_cast<size_t>(components)];
        if (components == 1) {
            out[0] = out[1] = out[2] = in[0];
        } else if (components == 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        } else {
            out[0] = blend(in[2], in[3]);
            out[1] = blend(in[1], in[3]);
            out[2] = blend(in[0], in[3]);
        }
    }
}

// Reads the header, refuses pictures over the limits or larger than the file
// could hold, and makes the image.
bool prepareImage(jpeg_decompress_struct &info, size_t fileBytes,
                  std::unique_ptr<MorvikImage> &image) {
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK)
        return false;
    if (!fileCouldHold(info.image_width, info.image_height, fileBytes, kMaxPixelsPerFileByte))
        return false;
    switch (info.num_components) {
    case 1:
        info.out_color_space = JCS_GRAYSCALE;
        break;
    case 3:
        info.out_color_space = JCS_RGB;
        break;
    case 4:
        info.out_color_space = JCS_CMYK;
        break;
    default:
        return false;
    }
    image = makeImage(info.image_width, info.image_height, 3);
    return image != nullptr;
}

bool decodeJpeg(JpegReader &reader, const std::vector<uint8_t> &data,
                std::unique_ptr<MorvikImage> &image, std::vector<uint8_t> &row) {
    jpeg_decompress_struct &info = reader.info;
    if (setjmp(reader.error.jump))
        return false;
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    if (!prepareImage(info, data.size(), image))
        return false;
    jpeg_start_decompress(&info);
    if (info.output_width != static_cast<JDIMENSION>(image->width) ||
        info.output_height != static_cast<JDIMENSION>(image->height))
        return false;
    row.assign(size_t{info.output_width} * static_cast<size_t>(info.output_components), 0);
    while (info.output_scanline < info.output_height) {
        const size_t y = info.output_scanline;
        JSAMPROW rows[1] = {row.data()};
        if (jpeg_read_scanlines(&info, rows, 1) != 1)
            return false;
        convertRow(row, info.output_components, rowFromTop(*image, y));
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

std::unique_ptr<MorvikImage> loadJpeg(const std::vector<uint8_t> &data) {
    JpegReader reader;
    std::unique_ptr<MorvikImage> image;
    std::vector<uint8_t> row;
    if (!decodeJpeg(reader, data, image, row))
        return nullptr;
    return image;
}

} // namespace imagemodule
