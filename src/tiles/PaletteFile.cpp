#include "tiles/PaletteFile.hpp"

#include "common/Bytes.hpp"

namespace {

struct Colour {
    uint8_t red, green, blue;
};

// Five bits a component, blue highest: the SNES and 32X colour word.
uint32_t bgr555(const Colour &c) {
    return uint32_t(c.blue >> 3) << 10 | uint32_t(c.green >> 3) << 5 | uint32_t(c.red >> 3);
}

void putColourWord(std::vector<uint8_t> &out, ColourWord form, const Colour &c) {
    switch (form) {
    case ColourWord::Sms:
        out.push_back(static_cast<uint8_t>((c.blue >> 6) << 4 | (c.green >> 6) << 2 | c.red >> 6));
        break;
    case ColourWord::Sgg:
        out.push_back(static_cast<uint8_t>((c.green & 0xF0) | c.red >> 4));
        out.push_back(static_cast<uint8_t>(c.blue >> 4));
        break;
    case ColourWord::Snes:
        putLe16(out, bgr555(c));
        break;
    case ColourWord::Tgx: // green, red, blue in three bits each
        putLe16(out, uint32_t(c.green >> 5) << 6 | uint32_t(c.red >> 5) << 3 | c.blue >> 5);
        break;
    case ColourWord::Smd:
        out.push_back(static_cast<uint8_t>(c.blue >> 4));
        out.push_back(static_cast<uint8_t>((c.green & 0xF0) | c.red >> 4));
        break;
    case ColourWord::Bitmap32x:
        putBe16(out, 0x8000 | bgr555(c));
        break;
    case ColourWord::None:
        break;
    }
}

} // namespace

Palette reduceComponents(const Palette &palette, int32_t componentBits) {
    Palette reduced = palette;
    if (componentBits >= 8 || componentBits < 0)
        return reduced;
    const int shift = 8 - componentBits;
    for (uint8_t &component : reduced)
        component = static_cast<uint8_t>((component >> shift) << shift);
    return reduced;
}

int32_t paletteEntryAt(int32_t i, bool transparency, uint8_t backgroundIndex) {
    if (!transparency)
        return i;
    if (i == 0)
        return backgroundIndex;
    return i == backgroundIndex ? 0 : i;
}

std::vector<uint8_t> encodePalette(const Palette &palette, ColourWord form, int32_t colourCount,
                                   bool transparency, uint8_t backgroundIndex) {
    std::vector<uint8_t> out;
    for (int32_t i = 0; i < colourCount && i < 256; ++i) {
        size_t e = static_cast<size_t>(paletteEntryAt(i, transparency, backgroundIndex));
        putColourWord(out, form, {palette[3 * e], palette[3 * e + 1], palette[3 * e + 2]});
    }
    return out;
}
