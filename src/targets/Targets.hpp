// The six consoles: one constant row each holds every rule that depends on the
// target, so no other layer tests a target by name.
#pragma once

#include "targets/Formats.hpp"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>

// Target::None: no -target was given; the picture is converted and nothing written.
enum class Target : uint8_t { None, Sms, Sgg, Snes, Tgx, Smd, Sega32x };

enum class CodeForm : uint8_t { None, Wla, Gnu };

// How the tile encoder lays out a tile's bytes.
enum class PatternLayout : uint8_t {
    None,        // no target: nothing is encoded
    Interleaved, // the planes of each row side by side (sms, sgg)
    Pairs,       // rows of planes 0 and 1, then 2 and 3, ... (snes, tgx)
    Packed4,     // two 4-bit pixels a byte (smd)
    Bitmap,      // the whole picture, no tiles (32x)
};

// The palette file's colour word.
enum class ColourWord : uint8_t { None, Sms, Sgg, Snes, Tgx, Smd, Bitmap32x };

// The name table's entry layout.
enum class NameEntry : uint8_t { None, Sms, Snes, Tgx, Smd };

// How the preview widens the reduced colour components back to 8 bits.
enum class PreviewWidening : uint8_t { None, Sms, Sgg, Snes };

struct TargetRow {
    Target target;
    std::string_view name;
    uint32_t allowedFormats;  // one FormatRow::code bit per accepted format
    Format defaultFormat;     // used when none is given or the given one is refused
    int32_t componentBits;    // bits kept of each 8-bit palette component
    int32_t tileLimit;        // most unique tiles a name table addresses
    int32_t overlapTileCount; // more unique tiles run into the name table; 0: never
    bool canFlip;             // name entries mirror tiles, so mirrored forms match
    bool writesFiles;         // false only without a target: convert, write nothing
    bool bitmapMode;          // the picture is stored whole, without tiles
    bool fixedCodec;          // packed always with the default codec settings, no search
    bool decoderWidensPlanes; // the shipped decoder pads packed rows to the tile mode's planes
    int32_t maxPalettes;      // sub-palettes a name entry can choose; 1: no palette bits
    std::string_view codeExtension;
    CodeForm codeForm;
    PatternLayout layout;
    ColourWord colourWord;
    NameEntry nameEntry;
    PreviewWidening widening;
};

constexpr uint32_t formatBits(std::initializer_list<Format> formats) {
    uint32_t bits = 0;
    for (Format format : formats)
        bits |= static_cast<uint32_t>(kFormats[static_cast<size_t>(format) - 1].code);
    return bits;
}

inline constexpr std::array<TargetRow, 7> kTargets = {{
    {Target::None, "", formatBits({Format::L8}), Format::L8, 8, 65536, 0, false, false, false,
     false, false, 1, "", CodeForm::None, PatternLayout::None, ColourWord::None, NameEntry::None,
     PreviewWidening::None},
    {Target::Sms, "sms", formatBits({Format::P1, Format::P4}), Format::P4, 2, 512, 448, true, true,
     false, false, true, 2, ".asm", CodeForm::Wla, PatternLayout::Interleaved, ColourWord::Sms,
     NameEntry::Sms, PreviewWidening::Sms},
    {Target::Sgg, "sgg", formatBits({Format::P1, Format::P4}), Format::P4, 4, 512, 448, true, true,
     false, false, true, 2, ".asm", CodeForm::Wla, PatternLayout::Interleaved, ColourWord::Sgg,
     NameEntry::Sms, PreviewWidening::Sgg},
    {Target::Snes, "snes", formatBits({Format::P2, Format::P4, Format::P8}), Format::P4, 5, 1024, 0,
     true, true, false, false, false, 8, ".asm", CodeForm::None, PatternLayout::Pairs,
     ColourWord::Snes, NameEntry::Snes, PreviewWidening::Snes},
    {Target::Tgx, "tgx", formatBits({Format::P4}), Format::P4, 3, 4096, 0, false, true, false,
     false, false, 16, ".asm", CodeForm::None, PatternLayout::Pairs, ColourWord::Tgx,
     NameEntry::Tgx, PreviewWidening::None},
    {Target::Smd, "smd", formatBits({Format::L4}), Format::L4, 3, 2048, 0, true, true, false, false,
     false, 4, ".s", CodeForm::Gnu, PatternLayout::Packed4, ColourWord::Smd, NameEntry::Smd,
     PreviewWidening::None},
    {Target::Sega32x, "32x", formatBits({Format::L8, Format::D15}), Format::L8, 8, 4096, 0, false,
     true, true, true, false, 1, ".s", CodeForm::None, PatternLayout::Bitmap, ColourWord::Bitmap32x,
     NameEntry::None, PreviewWidening::None},
}};

const TargetRow &targetRow(Target target);

// Whole, case-sensitive name match.
std::optional<Target> lookupTarget(std::string_view name);

struct FormatChoice {
    Format format;
    bool refused; // the requested format is not one the target accepts
};

// How many sub-palettes the target offers with this format: 1 where a name
// entry has no palette bits or the format's colours fill the whole palette.
inline int32_t paletteLimit(const TargetRow &target, const FormatRow &format) {
    return format.kind != FormatKind::Direct && format.colours <= 16 ? target.maxPalettes : 1;
}

// The requested format, or the target's default when none was asked for or
// the target does not accept it.
FormatChoice reconcileFormat(const TargetRow &row, Format requested);
