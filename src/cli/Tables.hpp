// Every target- and format-dependent constant lives here; the steps look
// their rules up instead of testing target names.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

using FormatCode = int32_t;
using TargetId = int32_t;

constexpr FormatCode kFormatP1 = 1;
constexpr FormatCode kFormatP2 = 2;
constexpr FormatCode kFormatP4 = 4;
constexpr FormatCode kFormatP8 = 8;
constexpr FormatCode kFormatL4 = 16;
constexpr FormatCode kFormatL8 = 32;
constexpr FormatCode kFormatD15 = 64;

constexpr TargetId kTargetNone = 0;
constexpr TargetId kTargetSms = 1;
constexpr TargetId kTargetSgg = 2;
constexpr TargetId kTargetSnes = 3;
constexpr TargetId kTargetTgx = 4;
constexpr TargetId kTargetSmd = 5;
constexpr TargetId kTarget32x = 6;
constexpr int kTargetCount = 7;

enum class CodeForm { None, Wla, Gnu };

// How the tile encoder lays out a tile's bytes.
enum class PatternLayout {
    None,        // no target: nothing is encoded
    Interleaved, // the planes of each row side by side (sms, sgg)
    Pairs,       // rows of planes 0 and 1, then 2 and 3, ... (snes, tgx)
    Packed4,     // two 4-bit pixels a byte (smd)
    Bitmap,      // the whole image, no tiles (32x)
};

// The palette file's colour word.
enum class ColourWord { None, Sms, Sgg, Snes, Tgx, Smd, Bitmap32x };

// The name table's entry layout.
enum class NameEntry { None, Sms, Snes, Tgx, Smd };

// How the preview widens the reduced colour components back to 8 bits.
enum class PreviewWidening { None, Sms, Sgg, Snes };

struct TargetInfo {
    int32_t allowedFormats;
    int32_t defaultFormat;
    int32_t componentBits;
    int32_t spareCount;
    int32_t tileLimit;
    int32_t canFlip;
    const char *assembler;
    const char *romExtension;
    const char *codeExtension;
    CodeForm codeForm; // which assembler syntax the code file uses
    PatternLayout layout;
    ColourWord colourWord;
    NameEntry nameEntry;
    PreviewWidening widening;
};

extern const std::array<TargetInfo, kTargetCount> kTargets;
extern const std::array<std::string_view, 7> kFormatNames;
extern const std::array<std::string_view, 6> kTargetNames;

// Codec settings the search tries: dictionary sizes outer, thresholds inner.
constexpr std::array<int32_t, 3> kAutoDictSizes = {1024, 2048, 4096};
constexpr std::array<int32_t, 3> kAutoThresholds = {2, 3, 4};

// Per-format values, looked up by FormatCode.
struct FormatTables {
    std::array<int32_t, 65> coloursPerFormat{};
    std::array<int32_t, 65> planesPerFormat{};
};

// Fills the colours and planes of the seven formats.
void fillFormatTables(FormatTables &tables);

// Lookups by name, whole and case-sensitive.
std::optional<FormatCode> lookupFormat(std::string_view name);
std::optional<TargetId> lookupTarget(std::string_view name);

const TargetInfo &targetRow(TargetId target);

struct FormatChoice {
    FormatCode format;
    bool warned;     // the requested format was not allowed
    bool bitmapMode; // target 32x stores the image whole
};

// Settles the requested format against the target's row: 0 takes the
// default; a format the target does not accept takes the default too.
FormatChoice reconcileFormat(TargetId target, FormatCode requested);
