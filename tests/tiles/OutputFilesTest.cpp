#include "image/WorkImage.hpp"
#include "tiles/NameTable.hpp"
#include "tiles/PaletteFile.hpp"
#include "tiles/Preview.hpp"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

// A palette of white, red, blue, black (red, green, blue order), cut to `bits`.
Palette primaries(int32_t bits) {
    Palette palette{};
    const uint8_t colours[4][3] = {{255, 255, 255}, {255, 0, 0}, {0, 0, 255}, {0, 0, 0}};
    for (size_t e = 0; e < 4; ++e)
        for (size_t c = 0; c < 3; ++c)
            palette[3 * e + c] = colours[e][c];
    return reduceComponents(palette, bits);
}

TEST(PaletteFile, ColourWordsOfEveryTarget) {
    EXPECT_EQ(encodePalette(primaries(2), ColourWord::Sms, 4, false, 0),
              (Bytes{0x3F, 0x03, 0x30, 0x00}));
    EXPECT_EQ(encodePalette(primaries(4), ColourWord::Sgg, 3, false, 0),
              (Bytes{0xFF, 0x0F, 0x0F, 0x00, 0x00, 0x0F}));
    EXPECT_EQ(encodePalette(primaries(5), ColourWord::Snes, 3, false, 0),
              (Bytes{0xFF, 0x7F, 0x1F, 0x00, 0x00, 0x7C}));
    EXPECT_EQ(encodePalette(primaries(3), ColourWord::Smd, 3, false, 0),
              (Bytes{0x0E, 0xEE, 0x00, 0x0E, 0x0E, 0x00}));
    EXPECT_EQ(encodePalette(primaries(8), ColourWord::Bitmap32x, 4, false, 0),
              (Bytes{0xFF, 0xFF, 0x80, 0x1F, 0xFC, 0x00, 0x80, 0x00}));
    // Nine bits: green 8..6, red 5..3, blue 2..0.
    EXPECT_EQ(encodePalette(primaries(3), ColourWord::Tgx, 3, false, 0),
              (Bytes{0xFF, 0x01, 0x38, 0x00, 0x07, 0x00}));
}

TEST(PaletteFile, ReductionKeepsTopBitsAndTransparencySwapsEntries) {
    Palette palette{};
    palette[0] = 128;
    palette[1] = 64;
    palette[2] = 200;
    palette = reduceComponents(palette, 2);
    EXPECT_EQ(palette[2], 192);
    EXPECT_EQ(encodePalette(palette, ColourWord::Sms, 1, false, 0), Bytes{0x36});
    Palette four = primaries(2);
    EXPECT_EQ(encodePalette(four, ColourWord::Sms, 4, true, 2), (Bytes{0x30, 0x03, 0x3F, 0x00}));
    EXPECT_EQ(encodePalette(four, ColourWord::Sms, 4, true, 0), (Bytes{0x3F, 0x03, 0x30, 0x00}));
}

TEST(NameTable, EntryLayouts) {
    TileSet tiles;
    tiles.tileMap = {300, 300, 513, 1027};
    tiles.flipCodes = {1, 3, 2, 1};
    Bytes sms = encodeNameTable(tiles, NameEntry::Sms);
    EXPECT_EQ(Bytes(sms.begin(), sms.begin() + 4), (Bytes{0x2C, 0x03, 0x2C, 0x07}));
    Bytes snes = encodeNameTable(tiles, NameEntry::Snes);
    EXPECT_EQ(Bytes(snes.begin() + 4, snes.begin() + 6), (Bytes{0x01, 0x82}));
    Bytes smd = encodeNameTable(tiles, NameEntry::Smd);
    EXPECT_EQ(Bytes(smd.begin() + 6, smd.end()), (Bytes{0x0C, 0x03}));
    Bytes tgx = encodeNameTable(tiles, NameEntry::Tgx);
    EXPECT_EQ(tgx, (Bytes{0x2C, 0x01, 0x2C, 0x01, 0x01, 0x02, 0x03, 0x04}));
}

TEST(Preview, WideningPerTarget) {
    Palette palette{};
    palette[0] = 0x00;
    palette[1] = 0x40;
    palette[2] = 0xC0;
    palette[3] = 0x10; // entry 1
    palette[6] = 0x40; // entry 2 stays: only the first two are widened
    const Palette sms = expandPreviewPalette(palette, PreviewWidening::Sms, 2);
    EXPECT_EQ(sms[0], 0x0F);
    EXPECT_EQ(sms[1], 0x5F);
    EXPECT_EQ(sms[2], 0xFF);
    EXPECT_EQ(sms[6], 0x40);
    const Palette sgg = expandPreviewPalette(palette, PreviewWidening::Sgg, 2);
    EXPECT_EQ(sgg[3], 0x11);
    EXPECT_EQ(sgg[2], 0xCC);
    Palette snes{};
    snes[0] = 0xF8;
    snes[1] = 0x08;
    const Palette snesWide = expandPreviewPalette(snes, PreviewWidening::Snes, 1);
    EXPECT_EQ(snesWide[0], 0xFF);
    EXPECT_EQ(snesWide[1], 0x08);
    EXPECT_EQ(snes[0], 0xF8); // a new palette; the console's one stays as it is
}

TEST(Preview, BitmapLayout) {
    WorkImage image = makeBlankImage(16, 8, 8);
    for (int i = 0; i < 128; ++i)
        image.pixels[i] = static_cast<uint8_t>(i / 16); // row number
    Palette palette{};
    palette[3] = 10; // entry 1: red 10, green 20, blue 30
    palette[4] = 20;
    palette[5] = 30;
    Bytes bmp = encodePreviewBitmap(image, palette);
    ASSERT_EQ(bmp.size(), 1206u);
    EXPECT_EQ(Bytes(bmp.begin(), bmp.begin() + 14),
              (Bytes{'B', 'M', 0xB6, 0x04, 0, 0, 0, 0, 0, 0, 0x36, 0x04, 0, 0}));
    EXPECT_EQ(Bytes(bmp.begin() + 14, bmp.begin() + 30),
              (Bytes{40, 0, 0, 0, 16, 0, 0, 0, 8, 0, 0, 0, 1, 0, 8, 0}));
    EXPECT_EQ(Bytes(bmp.begin() + 58, bmp.begin() + 62), (Bytes{30, 20, 10, 0}));
    EXPECT_EQ(bmp[1078], 7); // the bottom row first
    EXPECT_EQ(bmp[1205], 0);
}

} // namespace
