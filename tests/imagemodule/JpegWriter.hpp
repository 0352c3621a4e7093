// A JPEG writer for tests, through libjpeg: grey, colour at any sampling,
// CMYK (stored inverted, as Adobe's programs do), baseline or progressive.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace testimages {

struct JpegOptions {
    int components = 3; // 1 grey, 3 red-green-blue, 4 CMYK
    int quality = 90;
    int lumaHorizontal = 2; // sampling factors of the first component
    int lumaVertical = 2;
    bool progressive = false;
    int restartRows = 0; // a restart marker every so many MCU rows
};

namespace detail {

struct JpegWriteError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] inline void jpegWriteFailed(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegWriteError *>(info->err)->jump, 1);
}

inline bool compressGuarded(jpeg_compress_struct &info, JpegWriteError &error,
                            const std::vector<uint8_t> &samples, uint32_t width, uint32_t height,
                            const JpegOptions &options, unsigned char *&buffer,
                            unsigned long &size) {
    if (setjmp(error.jump))
        return false;
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = options.components;
    info.in_color_space = options.components == 1   ? JCS_GRAYSCALE
                          : options.components == 4 ? JCS_CMYK
                                                    : JCS_RGB;
    jpeg_set_defaults(&info);
    if (options.components == 4)
        jpeg_set_colorspace(&info, JCS_YCCK);
    jpeg_set_quality(&info, options.quality, TRUE);
    info.comp_info[0].h_samp_factor = options.lumaHorizontal;
    info.comp_info[0].v_samp_factor = options.lumaVertical;
    info.restart_in_rows = options.restartRows;
    if (options.progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    const size_t stride = size_t{width} * static_cast<size_t>(options.components);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&samples[info.next_scanline * stride]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

} // namespace detail

// samples: width x height pixels of options.components bytes, top row first.
inline std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t> &samples, uint32_t width,
                                       uint32_t height, const JpegOptions &options = {}) {
    if (samples.size() != size_t{width} * height * static_cast<size_t>(options.components))
        return {};
    jpeg_compress_struct info{};
    detail::JpegWriteError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = detail::jpegWriteFailed;
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    const bool ok =
        detail::compressGuarded(info, error, samples, width, height, options, buffer, size);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> out;
    if (ok && buffer != nullptr)
        out.assign(buffer, buffer + size);
    std::free(buffer);
    return out;
}

} // namespace testimages
