#include "cli/JobPlan.hpp"

#include "common/JobError.hpp"
#include "common/OutputFile.hpp"

#include <cstdio>

namespace {

std::string patternFileName(const JobSettings &settings, bool pack) {
    if (!settings.outputName.empty())
        return settings.outputName;
    return settings.outputBaseName + (pack ? ".lzs" : ".pat");
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
    plan.pack = settings.compressionMode == CompressionMode::Pack;
    plan.codec = plan.target->fixedCodec ? CodecSettings{} : codec;
    plan.searchCodec = settings.autoCompress && !plan.target->fixedCodec;
    const std::string &base = settings.outputBaseName;
    plan.paletteName = base + ".pal";
    plan.nameTableName = base + ".nam";
    plan.patternName = patternFileName(settings, plan.pack);
    plan.codeName = base + std::string(plan.target->codeExtension);
    plan.previewName = settings.previewName;
    return plan;
}

void warnIfFormatRefused(const JobPlan &plan, const JobSettings &settings) {
    if (plan.formatRefused)
        std::printf("Warning: Unsupported format (%d) for this target. Using default.\n",
                    formatRow(settings.format).code);
}

void warnIfQuantiseRefused(const JobPlan &plan, const JobSettings &settings) {
    if (plan.quantiseRefused)
        std::printf("Warning: Illegal quantise parameter (%d). Using default (%d).\n",
                    *settings.quantiseColours, plan.colourLimit);
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
    if (plan.pack && settings.writeCode)
        names.push_back(&plan.codeName);
    if (palette)
        names.push_back(&plan.previewName);
    if (const std::string *name = firstCollision(names))
        failJob("Error: Output files collide: " + *name + "\n");
}
