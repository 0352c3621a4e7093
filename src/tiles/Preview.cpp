#include "tiles/Preview.hpp"

#include "common/Bytes.hpp"

namespace {

uint8_t widen(PreviewWidening widening, uint8_t v) {
    switch (widening) {
    case PreviewWidening::Sms: // 0x00, 0x40, 0x80, 0xC0 become 0x0F, 0x5F, 0xAF, 0xFF
        return static_cast<uint8_t>(((v >> 6) << 4) + v + 15);
    case PreviewWidening::Sgg:
        return static_cast<uint8_t>(v + (v >> 4));
    case PreviewWidening::Snes:
        return static_cast<uint8_t>(v + (v >> 5));
    case PreviewWidening::None:
        break;
    }
    return v;
}

} // namespace

Palette expandPreviewPalette(const Palette &palette, PreviewWidening widening, int32_t count) {
    Palette widened = palette;
    for (int32_t e = 0; e < count && e < 256; ++e)
        for (size_t c = 0; c < 3; ++c) {
            uint8_t &v = widened[3 * static_cast<size_t>(e) + c];
            v = widen(widening, v);
        }
    return widened;
}

std::vector<uint8_t> encodePreviewBitmap(const WorkImage &indexed, const Palette &palette) {
    const size_t width = static_cast<size_t>(indexed.width);
    const size_t height = static_cast<size_t>(indexed.height);
    std::vector<uint8_t> out;
    out.reserve(kPreviewHeaderBytes + width * height);
    out.push_back('B');
    out.push_back('M');
    putLe32(out, static_cast<uint32_t>(width * height + kPreviewHeaderBytes));
    putLe32(out, 0);
    putLe32(out, kPreviewHeaderBytes);
    putLe32(out, 40);
    putLe32(out, static_cast<uint32_t>(width));
    putLe32(out, static_cast<uint32_t>(height)); // positive: bottom row first
    putLe16(out, 1);
    putLe16(out, 8);
    for (int field = 0; field < 6; ++field) // compression, size, resolutions, colours
        putLe32(out, 0);
    for (size_t e = 0; e < 256; ++e)
        putLe32(out, uint32_t(palette[3 * e + 2]) | uint32_t(palette[3 * e + 1]) << 8 |
                         uint32_t(palette[3 * e]) << 16); // blue, green, red, 0
    for (size_t row = height; row-- > 0;)
        out.insert(out.end(), indexed.pixels.begin() + static_cast<ptrdiff_t>(row * width),
                   indexed.pixels.begin() + static_cast<ptrdiff_t>((row + 1) * width));
    return out;
}
