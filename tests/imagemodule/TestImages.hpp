// Writers of small test images (PNG through libpng, BMP, GIF and PNM by hand)
// and a temporary directory, for tests that need image files on disk.
#pragma once

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include <png.h>

namespace testimages {

struct Rgb {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
};

// A fresh directory under the system's temporary directory (or under `parent`),
// removed with its contents when the object goes out of scope.
struct TempDir {
    std::filesystem::path path;

    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "morvik-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            path = pattern;
    }
    explicit TempDir(const std::filesystem::path &parent) {
        std::string pattern = (parent / "morvik-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            path = pattern;
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }

    std::string file(const std::string &name) const { return (path / name).string(); }
};

inline bool writeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

inline std::vector<uint8_t> readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

inline void putLe16(std::vector<uint8_t> &out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void putLe32(std::vector<uint8_t> &out, uint32_t value) {
    putLe16(out, value & 0xFFFF);
    putLe16(out, value >> 16);
}

inline void storeBe32(uint8_t *out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

inline void putBe32(std::vector<uint8_t> &out, uint32_t value) {
    out.resize(out.size() + 4, 0);
    storeBe32(&out[out.size() - 4], value);
}

// ---------------------------------------------------------------------------
// PNG

// CRC-32 as used by PNG chunks, bit by bit.
inline uint32_t pngCrc(const uint8_t *data, size_t size, uint32_t crc = 0xFFFFFFFFu) {
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}

// One complete chunk: length, type, data and CRC.
inline std::vector<uint8_t> pngChunk(const std::string &type, const std::vector<uint8_t> &data) {
    std::vector<uint8_t> chunk(12 + data.size(), 0);
    storeBe32(chunk.data(), static_cast<uint32_t>(data.size()));
    std::copy_n(type.begin(), std::min<size_t>(type.size(), 4), chunk.begin() + 4);
    std::copy(data.begin(), data.end(), chunk.begin() + 8);
    uint32_t crc = pngCrc(chunk.data() + 4, 4 + data.size()) ^ 0xFFFFFFFFu;
    storeBe32(&chunk[8 + data.size()], crc);
    return chunk;
}

inline std::vector<uint8_t> pngSignature() {
    return {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
}

// The 13 data bytes of an IHDR chunk.
inline std::vector<uint8_t> pngHeaderData(uint32_t width, uint32_t height, uint8_t bitDepth,
                                          uint8_t colorType) {
    std::vector<uint8_t> data;
    putBe32(data, width);
    putBe32(data, height);
    data.insert(data.end(), {bitDepth, colorType, 0, 0, 0});
    return data;
}

// Offset of the first chunk of the given type in a PNG file, or npos.
inline size_t findPngChunk(const std::vector<uint8_t> &png, const std::string &type) {
    size_t offset = 8;
    while (offset + 12 <= png.size()) {
        uint32_t length = (uint32_t{png[offset]} << 24) | (uint32_t{png[offset + 1]} << 16) |
                          (uint32_t{png[offset + 2]} << 8) | png[offset + 3];
        if (std::equal(type.begin(), type.end(), png.begin() + static_cast<long>(offset) + 4))
            return offset;
        offset += 12 + size_t{length};
    }
    return std::string::npos;
}

struct PngPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    int colorType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    // Rows from the top, in PNG's own packing (see packSamples; 16-bit samples big-endian).
    std::vector<std::vector<uint8_t>> rows;
    std::vector<Rgb> palette;
    // tRNS contents: alpha per palette entry, or one colour for grey and RGB images.
    std::vector<uint8_t> paletteAlpha;
    bool transparentColour = false;
    png_color_16 transparent{};
    bool interlaced = false;
};

// A picture without rows or palette yet.
inline PngPicture makePngPicture(uint32_t width, uint32_t height, int colorType, int bitDepth = 8) {
    PngPicture picture;
    picture.width = width;
    picture.height = height;
    picture.colorType = colorType;
    picture.bitDepth = bitDepth;
    return picture;
}

// Packs samples of 1, 2 or 4 bits into bytes, leftmost sample in the high bits.
inline std::vector<uint8_t> packSamples(const std::vector<uint8_t> &samples, int bitDepth) {
    if (bitDepth >= 8)
        return samples;
    const size_t perByte = static_cast<size_t>(8 / bitDepth);
    std::vector<uint8_t> packed((samples.size() + perByte - 1) / perByte, 0);
    for (size_t i = 0; i < samples.size(); ++i) {
        int shift = 8 - bitDepth * static_cast<int>(i % perByte + 1);
        packed[i / perByte] |= static_cast<uint8_t>((samples[i] & ((1 << bitDepth) - 1)) << shift);
    }
    return packed;
}

namespace detail {

inline void appendToVector(png_structp png, png_bytep data, size_t length) {
    auto *out = static_cast<std::vector<uint8_t> *>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

inline void flushNothing(png_structp) {}

[[noreturn]] inline void raise(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

inline void quiet(png_structp, png_const_charp) {}

inline bool encodeGuarded(png_structp png, png_infop info, const PngPicture &picture,
                          std::vector<png_color> &palette, std::vector<png_bytep> &rows,
                          std::vector<uint8_t> &out) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_benign_errors(png, 1);
    png_set_write_fn(png, &out, appendToVector, flushNothing);
    png_set_IHDR(png, info, picture.width, picture.height, picture.bitDepth, picture.colorType,
                 picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!picture.paletteAlpha.empty())
        png_set_tRNS(png, info, picture.paletteAlpha.data(),
                     static_cast<int>(picture.paletteAlpha.size()), nullptr);
    if (picture.transparentColour) {
        png_color_16 colour = picture.transparent;
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    return true;
}

} // namespace detail

// The PNG file for the picture, or an empty vector when libpng refuses it.
inline std::vector<uint8_t> encodePng(const PngPicture &picture) {
    if (picture.rows.size() != picture.height)
        return {};
    std::vector<png_color> palette;
    for (const Rgb &entry : picture.palette)
        palette.push_back(png_color{entry.red, entry.green, entry.blue});
    std::vector<std::vector<uint8_t>> rowCopies = picture.rows;
    std::vector<png_bytep> rows;
    for (std::vector<uint8_t> &row : rowCopies)
        rows.push_back(row.data());
    std::vector<uint8_t> out;
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, detail::raise, detail::quiet);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    bool ok = info != nullptr && detail::encodeGuarded(png, info, picture, palette, rows, out);
    png_destroy_write_struct(&png, &info);
    return ok ? out : std::vector<uint8_t>{};
}

inline bool writePng(const std::string &path, const PngPicture &picture) {
    std::vector<uint8_t> bytes = encodePng(picture);
    return !bytes.empty() && writeFile(path, bytes);
}

// An 8-bit RGB PNG of the given pixels, top row first.
inline bool writeRgbPng(const std::string &path, uint32_t width, uint32_t height,
                        const std::vector<Rgb> &pixels) {
    PngPicture picture = makePngPicture(width, height, PNG_COLOR_TYPE_RGB);
    for (uint32_t y = 0; y < height; ++y) {
        std::vector<uint8_t> row;
        for (uint32_t x = 0; x < width; ++x) {
            const Rgb &p = pixels[static_cast<size_t>(y) * width + x];
            row.insert(row.end(), {p.red, p.green, p.blue});
        }
        picture.rows.push_back(row);
    }
    return writePng(path, picture);
}

// An 8-bit palette PNG of the given indexes, top row first.
// A picture as rows of colours, top row first.
using RgbRows = std::vector<std::vector<Rgb>>;

// An RGB PNG of the rows (all of one length).
inline bool writeRgbRowsPng(const std::string &path, const RgbRows &rows) {
    std::vector<Rgb> pixels;
    for (const auto &row : rows)
        pixels.insert(pixels.end(), row.begin(), row.end());
    return !rows.empty() && writeRgbPng(path, static_cast<uint32_t>(rows[0].size()),
                                        static_cast<uint32_t>(rows.size()), pixels);
}

inline bool writeIndexedPng(const std::string &path, uint32_t width, uint32_t height,
                            const std::vector<uint8_t> &indexes, const std::vector<Rgb> &palette) {
    PngPicture picture = makePngPicture(width, height, PNG_COLOR_TYPE_PALETTE);
    picture.palette = palette;
    for (uint32_t y = 0; y < height; ++y)
        picture.rows.emplace_back(indexes.begin() + static_cast<std::ptrdiff_t>(y * width),
                                  indexes.begin() + static_cast<std::ptrdiff_t>((y + 1) * width));
    return writePng(path, picture);
}

// ---------------------------------------------------------------------------
// BMP

// A 24-bit BMP; rgb holds width x height pixels red, green, blue, top row first.
inline std::vector<uint8_t> encodeBmp24(uint32_t width, uint32_t height,
                                        const std::vector<uint8_t> &rgb) {
    const uint32_t stride = (width * 3 + 3) & ~3u;
    const uint32_t imageSize = stride * height;
    std::vector<uint8_t> out{'B', 'M'};
    putLe32(out, 54 + imageSize);
    putLe32(out, 0);
    putLe32(out, 54);
    putLe32(out, 40);
    putLe32(out, width);
    putLe32(out, height);
    putLe16(out, 1);
    putLe16(out, 24);
    putLe32(out, 0);
    putLe32(out, imageSize);
    putLe32(out, 2835);
    putLe32(out, 2835);
    putLe32(out, 0);
    putLe32(out, 0);
    for (uint32_t row = 0; row < height; ++row) {
        size_t y = height - 1 - row;
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t *pixel = &rgb.at((y * width + x) * 3);
            out.insert(out.end(), {pixel[2], pixel[1], pixel[0]});
        }
        out.resize(out.size() + (stride - width * 3), 0);
    }
    return out;
}

inline bool writeBmp24(const std::string &path, uint32_t width, uint32_t height,
                       const std::vector<uint8_t> &rgb) {
    return writeFile(path, encodeBmp24(width, height, rgb));
}

// ---------------------------------------------------------------------------
// GIF

namespace detail {

struct BitWriter {
    std::vector<uint8_t> bytes;
    uint32_t pending = 0;
    int pendingBits = 0;

    void put(uint32_t code, int bits) {
        pending |= code << pendingBits;
        pendingBits += bits;
        while (pendingBits >= 8) {
            bytes.push_back(static_cast<uint8_t>(pending));
            pending >>= 8;
            pendingBits -= 8;
        }
    }
    void finish() {
        if (pendingBits > 0)
            bytes.push_back(static_cast<uint8_t>(pending));
        pending = 0;
        pendingBits = 0;
    }
};

// LZW data that never compresses: every index is sent as its own code, with a
// clear code before the code table would grow past the starting code width.
inline std::vector<uint8_t> lzwLiterals(const std::vector<uint8_t> &indices, int minCodeSize) {
    const uint32_t clear = 1u << minCodeSize;
    const uint32_t maxRun = clear - 2;
    const int codeBits = minCodeSize + 1;
    BitWriter writer;
    writer.put(clear, codeBits);
    uint32_t run = 0;
    for (uint8_t index : indices) {
        if (run == maxRun) {
            writer.put(clear, codeBits);
            run = 0;
        }
        writer.put(index, codeBits);
        ++run;
    }
    writer.put(clear + 1, codeBits);
    writer.finish();
    return writer.bytes;
}

} // namespace detail

// A single-frame GIF with a global colour table; indices top row first.
inline std::vector<uint8_t> encodeGif(uint16_t width, uint16_t height,
                                      const std::vector<Rgb> &palette,
                                      const std::vector<uint8_t> &indices) {
    int tableBits = 1;
    while ((size_t{1} << tableBits) < palette.size() && tableBits < 8)
        ++tableBits;
    std::vector<uint8_t> out{'G', 'I', 'F', '8', '9', 'a'};
    putLe16(out, width);
    putLe16(out, height);
    out.insert(out.end(),
               {static_cast<uint8_t>(0x80 | ((tableBits - 1) << 4) | (tableBits - 1)), 0, 0});
    for (size_t i = 0; i < (size_t{1} << tableBits); ++i) {
        Rgb entry = i < palette.size() ? palette[i] : Rgb{};
        out.insert(out.end(), {entry.red, entry.green, entry.blue});
    }
    out.push_back(0x2C);
    putLe16(out, 0);
    putLe16(out, 0);
    putLe16(out, width);
    putLe16(out, height);
    out.push_back(0);
    const int minCodeSize = std::max(2, tableBits);
    out.push_back(static_cast<uint8_t>(minCodeSize));
    std::vector<uint8_t> data = detail::lzwLiterals(indices, minCodeSize);
    for (size_t offset = 0; offset < data.size(); offset += 255) {
        size_t length = std::min<size_t>(255, data.size() - offset);
        out.push_back(static_cast<uint8_t>(length));
        out.insert(out.end(), data.begin() + static_cast<long>(offset),
                   data.begin() + static_cast<long>(offset + length));
    }
    out.push_back(0);
    out.push_back(0x3B);
    return out;
}

inline bool writeGif(const std::string &path, uint16_t width, uint16_t height,
                     const std::vector<Rgb> &palette, const std::vector<uint8_t> &indices) {
    return writeFile(path, encodeGif(width, height, palette, indices));
}

// ---------------------------------------------------------------------------
// PNM

// A binary PGM (one channel) or PPM (three channels, red, green, blue); top row first.
inline bool writePnm(const std::string &path, uint32_t width, uint32_t height, int channels,
                     const std::vector<uint8_t> &samples) {
    std::string header = (channels == 1 ? "P5\n" : "P6\n") + std::to_string(width) + " " +
                         std::to_string(height) + "\n255\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    out.insert(out.end(), samples.begin(), samples.end());
    return writeFile(path, out);
}

} // namespace testimages
