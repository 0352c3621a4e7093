#include "targets/Formats.hpp"

const FormatRow &formatRow(Format format) {
    const auto index = static_cast<size_t>(format);
    return kFormats[index == 0 ? 0 : index - 1];
}

std::optional<Format> lookupFormat(std::string_view name) {
    for (const FormatRow &row : kFormats)
        if (row.name == name)
            return row.format;
    return std::nullopt;
}

int32_t signedPlanes(const FormatRow &row) {
    return row.kind == FormatKind::Planar ? row.bitsPerPixel : -row.bitsPerPixel;
}
