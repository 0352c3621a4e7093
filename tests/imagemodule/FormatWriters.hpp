// Writers of the less common variants of BMP, TGA, PSD and GIF files, for tests
// that need every layout a reader takes: palettes of every depth, bit fields,
// top-down rows, run-length packets, interlacing, transparency and frames
// smaller than their screen. Everything is written by hand, byte by byte.
#pragma once

#include "imagemodule/TestImages.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace testimages {

inline void putBe16(std::vector<uint8_t> &out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// ---------------------------------------------------------------------------
// BMP

struct BmpPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bitsPerPixel = 24;  // 1, 4, 8, 16, 24 or 32
    uint32_t headerSize = 40;    // 12, 40, 108 or 124
    uint32_t compression = 0;    // 0 plain, 3 bit fields
    std::vector<uint32_t> masks; // red, green, blue(, alpha): after a 40-byte header, or in a
                                 // larger one
    std::vector<Rgb> palette;
    bool writeColoursUsed = true; // the palette size in the header, else 0
    bool topDown = false;         // a negative height: rows stored top first
    // Top row first, one value a pixel: an index, a 16- or 32-bit word, or 0xRRGGBB.
    std::vector<uint32_t> pixels;
};

namespace detail {

inline void putBmpRow(std::vector<uint8_t> &out, const BmpPicture &picture, size_t y) {
    const size_t start = out.size();
    const uint32_t *row = &picture.pixels.at(y * picture.width);
    if (picture.bitsPerPixel < 8) {
        const int bits = picture.bitsPerPixel;
        uint32_t pending = 0;
        int used = 0;
        for (uint32_t x = 0; x < picture.width; ++x) {
            pending = (pending << bits) | row[x];
            used += bits;
            if (used == 8) {
                out.push_back(static_cast<uint8_t>(pending));
                pending = 0;
                used = 0;
            }
        }
        if (used > 0)
            out.push_back(static_cast<uint8_t>(pending << (8 - used)));
    } else {
        for (uint32_t x = 0; x < picture.width; ++x) {
            const uint32_t value = row[x];
            if (picture.bitsPerPixel == 8)
                out.push_back(static_cast<uint8_t>(value));
            else if (picture.bitsPerPixel == 16)
                putLe16(out, value);
            else if (picture.bitsPerPixel == 24)
                out.insert(out.end(),
                           {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16)});
            else
                putLe32(out, value);
        }
    }
    while ((out.size() - start) % 4 != 0)
        out.push_back(0);
}

} // namespace detail

inline std::vector<uint8_t> encodeBmp(const BmpPicture &picture) {
    const bool core = picture.headerSize == 12;
    const size_t masksAfter = picture.headerSize == 40 && picture.compression == 3 ? 12 : 0;
    const size_t paletteBytes = picture.palette.size() * (core ? 3 : 4);
    const uint32_t offset =
        static_cast<uint32_t>(14 + picture.headerSize + masksAfter + paletteBytes);
    std::vector<uint8_t> rows;
    for (uint32_t row = 0; row < picture.height; ++row)
        detail::putBmpRow(rows, picture, picture.topDown ? row : picture.height - 1 - row);
    std::vector<uint8_t> out{'B', 'M'};
    putLe32(out, offset + static_cast<uint32_t>(rows.size()));
    putLe32(out, 0);
    putLe32(out, offset);
    putLe32(out, picture.headerSize);
    if (core) {
        putLe16(out, picture.width);
        putLe16(out, picture.height);
    } else {
        putLe32(out, picture.width);
        putLe32(out, picture.topDown ? 0u - picture.height : picture.height);
    }
    putLe16(out, 1);
    putLe16(out, picture.bitsPerPixel);
    if (!core) {
        putLe32(out, picture.compression);
        putLe32(out, static_cast<uint32_t>(rows.size()));
        putLe32(out, 2835);
        putLe32(out, 2835);
        putLe32(out, picture.writeColoursUsed ? static_cast<uint32_t>(picture.palette.size()) : 0);
        putLe32(out, 0);
    }
    if (picture.headerSize >= 108) {
        for (size_t i = 0; i < 4; ++i)
            putLe32(out, i < picture.masks.size() ? picture.masks[i] : 0);
        putLe32(out, 0x73524742); // 'sRGB'
        out.resize(out.size() + 36 + 12, 0);
        if (picture.headerSize == 124)
            out.resize(out.size() + 16, 0);
    } else if (masksAfter > 0) {
        for (size_t i = 0; i < 3; ++i)
            putLe32(out, i < picture.masks.size() ? picture.masks[i] : 0);
    }
    for (const Rgb &entry : picture.palette) {
        out.insert(out.end(), {entry.blue, entry.green, entry.red});
        if (!core)
            out.push_back(0);
    }
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
}

// ---------------------------------------------------------------------------
// TGA

struct TgaPicture {
    uint8_t imageType = 2; // 1 colour-mapped, 2 true colour, 3 grey; +8 run-length coded
    uint8_t bitsPerPixel = 24;
    uint16_t width = 0;
    uint16_t height = 0;
    bool topOrigin = false;
    bool rightToLeft = false;
    std::vector<uint8_t> id;
    uint16_t mapFirst = 0;
    uint8_t mapEntryBits = 0;
    std::vector<uint8_t> map; // the colour map as stored
    // The pixels as stored, in file order, before any run-length coding.
    std::vector<uint8_t> pixels;
};

namespace detail {

// Run-length packets over the whole pixel stream (they may cross rows):
// repeats of two or more equal pixels, raw packets for the rest.
inline std::vector<uint8_t> tgaRunLength(const std::vector<uint8_t> &pixels, size_t pixelSize) {
    std::vector<uint8_t> out;
    const size_t count = pixels.size() / pixelSize;
    const auto same = [&](size_t a, size_t b) {
        return std::equal(pixels.begin() + static_cast<long>(a * pixelSize),
                          pixels.begin() + static_cast<long>((a + 1) * pixelSize),
                          pixels.begin() + static_cast<long>(b * pixelSize));
    };
    size_t i = 0;
    while (i < count) {
        size_t run = 1;
        while (i + run < count && run < 128 && same(i, i + run))
            ++run;
        if (run >= 2) {
            out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
            out.insert(out.end(), pixels.begin() + static_cast<long>(i * pixelSize),
                       pixels.begin() + static_cast<long>((i + 1) * pixelSize));
            i += run;
            continue;
        }
        size_t raw = 1;
        while (i + raw < count && raw < 128 && !(i + raw + 1 < count && same(i + raw, i + raw + 1)))
            ++raw;
        out.push_back(static_cast<uint8_t>(raw - 1));
        out.insert(out.end(), pixels.begin() + static_cast<long>(i * pixelSize),
                   pixels.begin() + static_cast<long>((i + raw) * pixelSize));
        i += raw;
    }
    return out;
}

} // namespace detail

inline std::vector<uint8_t> encodeTga(const TgaPicture &picture) {
    const bool mapped = (picture.imageType & 7) == 1;
    const size_t mapEntryBytes = (picture.mapEntryBits + 7u) / 8u;
    std::vector<uint8_t> out{static_cast<uint8_t>(picture.id.size()),
                             mapped ? uint8_t{1} : uint8_t{0}, picture.imageType};
    putLe16(out, picture.mapFirst);
    putLe16(out, mapped && mapEntryBytes > 0
                     ? static_cast<uint32_t>(picture.map.size() / mapEntryBytes)
                     : 0);
    out.push_back(mapped ? picture.mapEntryBits : 0);
    putLe16(out, 0);
    putLe16(out, 0);
    putLe16(out, picture.width);
    putLe16(out, picture.height);
    out.push_back(picture.bitsPerPixel);
    const uint8_t alphaBits = picture.bitsPerPixel == 32 ? 8 : 0;
    out.push_back(static_cast<uint8_t>(alphaBits | (picture.rightToLeft ? 0x10 : 0) |
                                       (picture.topOrigin ? 0x20 : 0)));
    out.insert(out.end(), picture.id.begin(), picture.id.end());
    if (mapped)
        out.insert(out.end(), picture.map.begin(), picture.map.end());
    if (picture.imageType >= 8) {
        const std::vector<uint8_t> packed =
            detail::tgaRunLength(picture.pixels, (picture.bitsPerPixel + 7u) / 8u);
        out.insert(out.end(), packed.begin(), packed.end());
    } else {
        out.insert(out.end(), picture.pixels.begin(), picture.pixels.end());
    }
    return out;
}

// ---------------------------------------------------------------------------
// PSD

struct PsdPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t depth = 8; // bits a sample: 8 or 16
    bool runLength = false;
    // One plane a channel (red, green, blue, alpha, ...): the samples as stored,
    // top row first; 16-bit samples big-endian.
    std::vector<std::vector<uint8_t>> planes;
};

namespace detail {

// PackBits: a header byte n, then n + 1 literal bytes (n < 128) or one byte
// repeated 257 - n times (n > 128).
inline std::vector<uint8_t> packBits(const uint8_t *bytes, size_t count) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < count) {
        size_t run = 1;
        while (i + run < count && run < 128 && bytes[i + run] == bytes[i])
            ++run;
        if (run >= 3) {
            out.push_back(static_cast<uint8_t>(257 - run));
            out.push_back(bytes[i]);
            i += run;
            continue;
        }
        size_t literal = 1;
        while (i + literal < count && literal < 128 &&
               !(i + literal + 2 < count && bytes[i + literal] == bytes[i + literal + 1] &&
                 bytes[i + literal] == bytes[i + literal + 2]))
            ++literal;
        out.push_back(static_cast<uint8_t>(literal - 1));
        out.insert(out.end(), bytes + i, bytes + i + literal);
        i += literal;
    }
    return out;
}

} // namespace detail

inline std::vector<uint8_t> encodePsd(const PsdPicture &picture) {
    std::vector<uint8_t> out{'8', 'B', 'P', 'S'};
    putBe16(out, 1);
    out.resize(out.size() + 6, 0);
    putBe16(out, static_cast<uint32_t>(picture.planes.size()));
    putBe32(out, picture.height);
    putBe32(out, picture.width);
    putBe16(out, picture.depth);
    putBe16(out, 3); // RGB
    putBe32(out, 0); // colour mode data
    putBe32(out, 0); // image resources
    putBe32(out, 0); // layers and masks
    putBe16(out, picture.runLength ? 1 : 0);
    if (!picture.runLength) {
        for (const std::vector<uint8_t> &plane : picture.planes)
            out.insert(out.end(), plane.begin(), plane.end());
        return out;
    }
    const size_t rowBytes = size_t{picture.width} * (picture.depth / 8u);
    std::vector<uint8_t> counts;
    std::vector<uint8_t> data;
    for (const std::vector<uint8_t> &plane : picture.planes)
        for (size_t y = 0; y < picture.height; ++y) {
            std::vector<uint8_t> row = detail::packBits(&plane.at(y * rowBytes), rowBytes);
            putBe16(counts, static_cast<uint32_t>(row.size()));
            data.insert(data.end(), row.begin(), row.end());
        }
    out.insert(out.end(), counts.begin(), counts.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// ---------------------------------------------------------------------------
// GIF

struct GifPicture {
    uint16_t screenWidth = 0;
    uint16_t screenHeight = 0;
    std::vector<Rgb> globalTable; // none when empty
    uint8_t backgroundIndex = 0;
    int transparentIndex = -1; // a graphic control extension when 0..255
    uint16_t left = 0;
    uint16_t top = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    std::vector<Rgb> localTable; // none when empty
    bool interlaced = false;
    std::vector<uint8_t> indices; // the frame's indexes, top row first
};

namespace detail {

inline int gifTableBits(size_t entries) {
    int bits = 1;
    while ((size_t{1} << bits) < entries && bits < 8)
        ++bits;
    return bits;
}

inline void putGifTable(std::vector<uint8_t> &out, const std::vector<Rgb> &table) {
    for (size_t i = 0; i < (size_t{1} << gifTableBits(table.size())); ++i) {
        const Rgb entry = i < table.size() ? table[i] : Rgb{};
        out.insert(out.end(), {entry.red, entry.green, entry.blue});
    }
}

// The frame's rows in the order an interlaced GIF stores them.
inline std::vector<uint8_t> gifRowOrder(const GifPicture &picture) {
    if (!picture.interlaced)
        return picture.indices;
    std::vector<uint8_t> out;
    const size_t starts[] = {0, 4, 2, 1};
    const size_t steps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (size_t y = starts[pass]; y < picture.height; y += steps[pass])
            out.insert(out.end(), picture.indices.begin() + static_cast<long>(y * picture.width),
                       picture.indices.begin() + static_cast<long>((y + 1) * picture.width));
    return out;
}

} // namespace detail

inline std::vector<uint8_t> encodeGifPicture(const GifPicture &picture) {
    std::vector<uint8_t> out{'G', 'I', 'F', '8', '9', 'a'};
    putLe16(out, picture.screenWidth);
    putLe16(out, picture.screenHeight);
    const bool global = !picture.globalTable.empty();
    const int globalBits = detail::gifTableBits(picture.globalTable.size());
    out.insert(out.end(), {static_cast<uint8_t>(
                               global ? 0x80 | ((globalBits - 1) << 4) | (globalBits - 1) : 0),
                           picture.backgroundIndex, 0});
    if (global)
        detail::putGifTable(out, picture.globalTable);
    if (picture.transparentIndex >= 0)
        out.insert(out.end(),
                   {0x21, 0xF9, 4, 1, 0, 0, static_cast<uint8_t>(picture.transparentIndex), 0});
    out.push_back(0x2C);
    putLe16(out, picture.left);
    putLe16(out, picture.top);
    putLe16(out, picture.width);
    putLe16(out, picture.height);
    const bool local = !picture.localTable.empty();
    const int localBits = detail::gifTableBits(picture.localTable.size());
    out.push_back(static_cast<uint8_t>((local ? 0x80 | (localBits - 1) : 0) |
                                       (picture.interlaced ? 0x40 : 0)));
    if (local)
        detail::putGifTable(out, picture.localTable);
    const int minCodeSize = std::max(2, local ? localBits : globalBits);
    out.push_back(static_cast<uint8_t>(minCodeSize));
    const std::vector<uint8_t> data =
        detail::lzwLiterals(detail::gifRowOrder(picture), minCodeSize);
    for (size_t offset = 0; offset < data.size(); offset += 255) {
        const size_t length = std::min<size_t>(255, data.size() - offset);
        out.push_back(static_cast<uint8_t>(length));
        out.insert(out.end(), data.begin() + static_cast<long>(offset),
                   data.begin() + static_cast<long>(offset + length));
    }
    out.push_back(0);
    out.push_back(0x3B);
    return out;
}

} // namespace testimages
