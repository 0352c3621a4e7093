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

// The viewer ROM morvik can write for the target (-rom).
enum class RomKind : uint8_t { None, Sms, GameGear, MegaDrive, Snes, PcEngine };

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
    RomKind rom;              // the viewer ROM -rom writes
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
    {.target = Target::None,
     .name = "",
     .allowedFormats = formatBits({Format::L8}),
     .defaultFormat = Format::L8,
     .componentBits = 8,
     .tileLimit = 65536,
     .overlapTileCount = 0,
     .canFlip = false,
     .writesFiles = false,
     .bitmapMode = false,
     .fixedCodec = false,
     .decoderWidensPlanes = false,
     .maxPalettes = 1,
     .rom = RomKind::None,
     .codeExtension = "",
     .codeForm = CodeForm::None,
     .layout = PatternLayout::None,
     .colourWord = ColourWord::None,
     .nameEntry = NameEntry::None,
     .widening = PreviewWidening::None},
    {.target = Target::Sms,
     .name = "sms",
     .allowedFormats = formatBits({Format::P1, Format::P4}),
     .defaultFormat = Format::P4,
     .componentBits = 2,
     .tileLimit = 512,
     .overlapTileCount = 448,
     .canFlip = true,
     .writesFiles = true,
     .bitmapMode = false,
     .fixedCodec = false,
     .decoderWidensPlanes = true,
     .maxPalettes = 2,
     .rom = RomKind::Sms,
     .codeExtension = ".asm",
     .codeForm = CodeForm::Wla,
     .layout = PatternLayout::Interleaved,
     .colourWord = ColourWord::Sms,
     .nameEntry = NameEntry::Sms,
     .widening = PreviewWidening::Sms},
    {.target = Target::Sgg,
     .name = "sgg",
     .allowedFormats = formatBits({Format::P1, Format::P4}),
     .defaultFormat = Format::P4,
     .componentBits = 4,
     .tileLimit = 512,
     .overlapTileCount = 448,
     .canFlip = true,
     .writesFiles = true,
     .bitmapMode = false,
     .fixedCodec = false,
     .decoderWidensPlanes = true,
     .maxPalettes = 2,
     .rom = RomKind::GameGear,
     .codeExtension = ".asm",
     .codeForm = CodeForm::Wla,
     .layout = PatternLayout::Interleaved,
     .colourWord = ColourWord::Sgg,
     .nameEntry = NameEntry::Sms,
     .widening = PreviewWidening::Sgg},
    {.target = Target::Snes,
     .name = "snes",
     .allowedFormats = formatBits({Format::P2, Format::P4, Format::P8}),
     .defaultFormat = Format::P4,
     .componentBits = 5,
     .tileLimit = 1024,
     .overlapTileCount = 0,
     .canFlip = true,
     .writesFiles = true,
     .bitmapMode = false,
     .fixedCodec = false,
     .decoderWidensPlanes = false,
     .maxPalettes = 8,
     .rom = RomKind::Snes,
     .codeExtension = ".asm",
     .codeForm = CodeForm::None,
     .layout = PatternLayout::Pairs,
     .colourWord = ColourWord::Snes,
     .nameEntry = NameEntry::Snes,
     .widening = PreviewWidening::Snes},
    {.target = Target::Tgx,
     .name = "tgx",
     .allowedFormats = formatBits({Format::P4}),
     .defaultFormat = Format::P4,
     .componentBits = 3,
     .tileLimit = 4096,
     .overlapTileCount = 0,
     .canFlip = false,
     .writesFiles = true,
     .bitmapMode = false,
     .fixedCodec = false,
     .decoderWidensPlanes = false,
     .maxPalettes = 16,
     .rom = RomKind::PcEngine,
     .codeExtension = ".asm",
     .codeForm = CodeForm::None,
     .layout = PatternLayout::Pairs,
     .colourWord = ColourWord::Tgx,
     .nameEntry = NameEntry::Tgx,
     .widening = PreviewWidening::None},
    {.target = Target::Smd,
     .name = "smd",
     .allowedFormats = formatBits({Format::L4}),
     .defaultFormat = Format::L4,
     .componentBits = 3,
     .tileLimit = 2048,
     .overlapTileCount = 0,
     .canFlip = true,
     .writesFiles = true,
     .bitmapMode = false,
     .fixedCodec = false,
     .decoderWidensPlanes = false,
     .maxPalettes = 4,
     .rom = RomKind::MegaDrive,
     .codeExtension = ".s",
     .codeForm = CodeForm::Gnu,
     .layout = PatternLayout::Packed4,
     .colourWord = ColourWord::Smd,
     .nameEntry = NameEntry::Smd,
     .widening = PreviewWidening::None},
    {.target = Target::Sega32x,
     .name = "32x",
     .allowedFormats = formatBits({Format::L8, Format::D15}),
     .defaultFormat = Format::L8,
     .componentBits = 8,
     .tileLimit = 4096,
     .overlapTileCount = 0,
     .canFlip = false,
     .writesFiles = true,
     .bitmapMode = true,
     .fixedCodec = true,
     .decoderWidensPlanes = false,
     .maxPalettes = 1,
     .rom = RomKind::None,
     .codeExtension = ".s",
     .codeForm = CodeForm::None,
     .layout = PatternLayout::Bitmap,
     .colourWord = ColourWord::Bitmap32x,
     .nameEntry = NameEntry::None,
     .widening = PreviewWidening::None},
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
