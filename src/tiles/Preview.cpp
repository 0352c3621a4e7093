#include "tiles/Preview.hpp"

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

void putLe16(std::vector<uint8_t> &out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

void putLe32(std::vector<uint8_t> &out, uint32_t value) {
    putLe16(out, value & 0xFFFF);
    putLe16(out, value >> 16);
}

} // namespace

void expandPreviewPalette(Palette &palette, PreviewWidening widening, int32_t count) {
    for (int32_t e = 0; e < count && e < 256; ++e)
        for (size_t c = 0; c < 3; ++c) {
            uint8_t &v = palette[3 * static_cast<size_t>(e) + c];
            v = widen(widening, v);
        }
}

std::vector<uint8_t> encodePreviewBitmap(const WorkImage &indexed) {
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
    static const Palette black{};
    const Palette &palette = indexed.palette ? *indexed.palette : black;
    for (size_t e = 0; e < 256; ++e)
        putLe32(out, uint32_t(palette[3 * e + 2]) | uint32_t(palette[3 * e + 1]) << 8 |
                         uint32_t(palette[3 * e]) << 16); // blue, green, red, 0
    for (size_t row = height; row-- > 0;)
        out.insert(out.end(), indexed.pixels + row * width, indexed.pixels + (row + 1) * width);
    return out;
}
