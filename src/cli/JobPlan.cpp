#include "cli/JobPlan.hpp"

#include "common/JobError.hpp"
#include "common/OutputFile.hpp"

#include <algorithm>
#include <cstdio>

namespace {

std::string patternFileName(const JobSettings &settings, bool pack) {
    if (!settings.outputName.empty())
        return settings.outputName;
    return settings.outputBaseName + (pack ? ".lzs" : ".pat");
}

// -palettes against the target's palette bits; with more than one the -q
// limit caps each sub-palette, and the picture may keep up to 256 colours
// until they are spread.
void settlePalettes(const JobSettings &settings, JobPlan &plan) {
    plan.palettesAsked = settings.palettes.value_or(0);
    const int32_t limit = paletteLimit(*plan.target, *plan.format);
    plan.palettes = std::clamp(plan.palettesAsked, 1, limit);
    if (plan.palettes == 1)
        return;
    plan.coloursEach = plan.colourLimit;
    plan.colourLimit = 256;
}

} // namespace

JobPlan settleJobPlan(const JobSettings &settings, CodecSettings codec) {
    JobPlan plan;
    plan.target = &targetRow(settings.target);
    const FormatChoice choice = reconcileFormat(*plan.target, settings.format);
    plan.format = &formatRow(choice.format);
    plan.formatRefused = choice.refused;
    const int32_t limit = plan.format->colours;
    const int32_t asked = settings.quantiseColours.value_or(0);
    const bool valid = asked >= 2 && asked <= limit;
    plan.colourLimit = valid ? asked : limit;
    plan.quantiseRefused = settings.quantiseColours && !valid;
    plan.planes = settlePlaneRule(settings.minPlanes, *plan.format);
    settlePalettes(settings, plan);
    plan.pack = settings.compressionMode == CompressionMode::Pack;
    plan.codec = plan.target->fixedCodec ? CodecSettings{} : codec;
    plan.searchCodec = settings.autoCompress && !plan.target->fixedCodec;
    const std::string &base = settings.outputBaseName;
    plan.paletteName = base + ".pal";
    plan.nameTableName = base + ".nam";
    plan.patternName = patternFileName(settings, plan.pack);
    plan.codeName = base + std::string(plan.target->codeExtension);
    plan.previewName = settings.previewName;
    plan.romName = settings.romName;
    return plan;
}

// "p2, p4 and p8": the formats the target takes, in the table's order.
std::string acceptedFormats(const TargetRow &target) {
    std::string names;
    std::vector<std::string_view> accepted;
    for (const FormatRow &row : kFormats)
        if ((target.allowedFormats & static_cast<uint32_t>(row.code)) != 0)
            accepted.push_back(row.name);
    for (size_t i = 0; i < accepted.size(); ++i) {
        if (i != 0)
            names += i + 1 == accepted.size() ? " and " : ", ";
        names += accepted[i];
    }
    return names;
}

void warnIfFormatRefused(const JobPlan &plan, const JobSettings &settings) {
    if (!plan.formatRefused)
        return;
    const FormatRow &asked = formatRow(settings.format);
    std::printf("Warning: Unsupported format (%d) for this target. Using default.\n", asked.code);
    const std::string target = plan.target->name.empty()
                                   ? std::string("Without -target the picture")
                                   : "Target " + std::string(plan.target->name);
    std::printf("Warning: Format %s is not accepted. %s takes %s; using %s.\n",
                std::string(asked.name).c_str(), target.c_str(),
                acceptedFormats(*plan.target).c_str(), std::string(plan.format->name).c_str());
}

void warnIfQuantiseRefused(const JobPlan &plan, const JobSettings &settings) {
    if (plan.quantiseRefused)
        std::printf("Warning: Illegal quantise parameter (%d). Using default (%d).\n",
                    *settings.quantiseColours,
                    plan.palettes > 1 ? plan.coloursEach : plan.colourLimit);
}

void checkOutputCollisions(const JobPlan &plan, const JobSettings &settings) {
    if (!plan.target->writesFiles)
        return;
    const bool palette = !directColour(plan);
    std::vector<const std::string *> names = {&settings.inputName};
    if (palette)
        names.push_back(&plan.paletteName);
    if (!plan.target->bitmapMode)
        names.push_back(&plan.nameTableName);
    names.push_back(&plan.patternName);
    if (plan.pack && settings.writeCode && plan.target->codeForm != CodeForm::None)
        names.push_back(&plan.codeName);
    if (palette)
        names.push_back(&plan.previewName);
    names.push_back(&plan.romName);
    if (const std::string *name = firstCollision(names))
        failJob("Error: Output files collide: " + *name + "\n");
}

void warnIfPalettesRefused(const JobPlan &plan) {
    const int32_t asked = plan.palettesAsked;
    const int32_t limit = paletteLimit(*plan.target, *plan.format);
    if (asked == 0 || asked == plan.palettes)
        return;
    if (limit == 1)
        std::fputs("Warning: -palettes needs palette bits in the name table; this target and "
                   "format have none. Ignored.\n",
                   stdout);
    else if (asked > limit)
        std::printf("Warning: At most %d sub-palettes on this target. Using %d.\n", limit, limit);
    else
        std::printf("Warning: Bad value for -palettes (%d). Using 1.\n", asked);
}

void checkPalettesAndBase(const JobPlan &plan, const JobSettings &settings) {
    if (plan.palettes > 1 && settings.baseColour != 0)
        failJob("Error: -base cannot be used with more than one sub-palette: each has its own "
                "colour 0.\n");
}
