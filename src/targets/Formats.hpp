// The seven pixel formats: one constant row each, looked up by enum or name.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// Format::None: no -format was given (or its name was unknown).
enum class Format : uint8_t { None, P1, P2, P4, P8, L4, L8, D15 };

enum class FormatKind : uint8_t { Planar, Linear, Direct };

struct FormatRow {
    Format format;
    std::string_view name;
    int32_t code; // the number "Unsupported format (%d)" prints; one bit per format
    FormatKind kind;
    int32_t colours;      // most colours a pixel selects: the bound and default of -q; 0 for direct
    int32_t bitsPerPixel; // the most bit planes (planar) or the fixed bits per pixel
    int32_t baseLimit;    // colours counted from -base that must fit; 0: no check
    bool reportsPlanes;   // the "Using %d bitplanes" line is printed
    int32_t tilePlanes;   // planes the console's tile mode reads; 0: not a tile mode
};

inline constexpr std::array<FormatRow, 7> kFormats = {{
    {Format::P1, "p1", 1, FormatKind::Planar, 2, 1, 2, true, 0},
    {Format::P2, "p2", 2, FormatKind::Planar, 4, 2, 4, true, 2},
    {Format::P4, "p4", 4, FormatKind::Planar, 16, 4, 16, true, 4},
    {Format::P8, "p8", 8, FormatKind::Planar, 256, 8, 0, false, 8},
    {Format::L4, "l4", 16, FormatKind::Linear, 16, 4, 16, false, 0},
    {Format::L8, "l8", 32, FormatKind::Linear, 256, 8, 256, false, 0},
    {Format::D15, "d15", 64, FormatKind::Direct, 0, 16, 0, false, 0},
}};

// The row of a format; Format::None has no row and must not be asked for.
const FormatRow &formatRow(Format format);

// Whole, case-sensitive name match.
std::optional<Format> lookupFormat(std::string_view name);

// The format's planes as the WLA code file's constant writes them: the plane
// count of a planar format, minus the bits per pixel of the others.
int32_t signedPlanes(const FormatRow &row);
