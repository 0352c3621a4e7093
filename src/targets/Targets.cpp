#include "targets/Targets.hpp"

const TargetRow &targetRow(Target target) {
    return kTargets[static_cast<size_t>(target)];
}

std::optional<Target> lookupTarget(std::string_view name) {
    for (const TargetRow &row : kTargets)
        if (row.target != Target::None && row.name == name)
            return row.target;
    return std::nullopt;
}

FormatChoice reconcileFormat(const TargetRow &row, Format requested) {
    if (requested == Format::None)
        return {row.defaultFormat, false};
    const auto code = static_cast<uint32_t>(formatRow(requested).code);
    if ((code & row.allowedFormats) == 0)
        return {row.defaultFormat, true};
    return {requested, false};
}
