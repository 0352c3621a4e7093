#include "cli/Tables.hpp"

const std::array<TargetInfo, kTargetCount> kTargets = {{
    {kFormatL8, kFormatL8, 8, 1, 65536, 0, "", "", "", CodeForm::None, PatternLayout::None,
     ColourWord::None, NameEntry::None, PreviewWidening::None},
    {kFormatP1 | kFormatP4, kFormatP4, 2, 2, 512, 1, "wla-z80", "sms", ".asm", CodeForm::Wla,
     PatternLayout::Interleaved, ColourWord::Sms, NameEntry::Sms, PreviewWidening::Sms},
    {kFormatP1 | kFormatP4, kFormatP4, 4, 2, 512, 1, "wla-z80", "gg", ".asm", CodeForm::Wla,
     PatternLayout::Interleaved, ColourWord::Sgg, NameEntry::Sms, PreviewWidening::Sgg},
    {kFormatP2 | kFormatP4 | kFormatP8, kFormatP4, 5, 8, 1024, 1, "wla-65816", "smc", ".asm",
     CodeForm::None, PatternLayout::Pairs, ColourWord::Snes, NameEntry::Snes,
     PreviewWidening::Snes},
    {kFormatP4, kFormatP4, 3, 4, 4096, 0, "wla-huc6280", "pce", ".asm", CodeForm::None,
     PatternLayout::Pairs, ColourWord::Tgx, NameEntry::Tgx, PreviewWidening::None},
    {kFormatL4, kFormatL4, 3, 4, 2048, 1, "m68k-elf-as", "bin", ".s", CodeForm::Gnu,
     PatternLayout::Packed4, ColourWord::Smd, NameEntry::Smd, PreviewWidening::None},
    {kFormatL8 | kFormatD15, kFormatL8, 8, 1, 4096, 0, "sh-elf-as", "32x", ".s", CodeForm::None,
     PatternLayout::Bitmap, ColourWord::Bitmap32x, NameEntry::None, PreviewWidening::None},
}};

const std::array<std::string_view, 7> kFormatNames = {"p1", "p2", "p4", "p8", "l4", "l8", "d15"};
const std::array<std::string_view, 6> kTargetNames = {"sms", "sgg", "snes", "tgx", "smd", "32x"};

void fillFormatTables(FormatTables &tables) {
    constexpr std::array<int32_t, 7> colours = {2, 4, 16, 256, 16, 256, 0};
    constexpr std::array<int32_t, 7> planes = {1, 2, 4, 8, -4, -8, -16};
    for (size_t k = 0; k < colours.size(); ++k) {
        tables.coloursPerFormat[size_t{1} << k] = colours[k];
        tables.planesPerFormat[size_t{1} << k] = planes[k];
    }
}

std::optional<FormatCode> lookupFormat(std::string_view name) {
    for (size_t k = 0; k < kFormatNames.size(); ++k)
        if (kFormatNames[k] == name)
            return FormatCode{1} << k;
    return std::nullopt;
}

std::optional<TargetId> lookupTarget(std::string_view name) {
    for (size_t k = 0; k < kTargetNames.size(); ++k)
        if (kTargetNames[k] == name)
            return static_cast<TargetId>(k + 1);
    return std::nullopt;
}

const TargetInfo &targetRow(TargetId target) {
    if (target < 0 || target >= kTargetCount)
        return kTargets[0];
    return kTargets[static_cast<size_t>(target)];
}

FormatChoice reconcileFormat(TargetId target, FormatCode requested) {
    const TargetInfo &row = targetRow(target);
    FormatChoice choice{requested, false, false};
    if (choice.format == 0)
        choice.format = row.defaultFormat;
    if ((choice.format & row.allowedFormats) == 0) {
        choice.warned = true;
        choice.format = row.defaultFormat;
    }
    choice.bitmapMode = target == kTarget32x;
    return choice;
}
