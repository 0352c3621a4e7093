// What the image job will do, decided once from the settings before the
// picture is read: the format, the colour limit, the plane rule, the codec
// settings and every file name, with the warnings those decisions owe.
#pragma once

#include "cli/JobSettings.hpp"
#include "lzss/PatternOutput.hpp"
#include "tiles/PlaneCount.hpp"

#include <string>

struct JobPlan {
    const TargetRow *target = nullptr;
    const FormatRow *format = nullptr;
    bool formatRefused = false;   // the requested format was replaced by the target's default
    int32_t colourLimit = 0;      // most colours of the indexed picture (-q settled)
    bool quantiseRefused = false; // -q was given outside 2..the format's colours
    PlaneRule planes;
    int32_t palettes = 1;      // sub-palettes (-palettes settled against the target)
    int32_t coloursEach = 0;   // with more than one: entries of each, -q settled
    int32_t palettesAsked = 0; // -palettes as given, for the warnings; 0: not given
    bool pack = false;
    CodecSettings codec;      // for -pack; fixed on targets that decode with fixed settings
    bool searchCodec = false; // -autocomp where the target allows it
    std::string paletteName;
    std::string nameTableName;
    std::string patternName;
    std::string codeName;
    std::string previewName; // empty: no preview
    std::string romName;     // empty: no viewer ROM
};

// `codec` holds -dict and -threshold as the run settled them.
JobPlan settleJobPlan(const JobSettings &settings, CodecSettings codec);

inline bool directColour(const JobPlan &plan) {
    return plan.format->kind == FormatKind::Direct;
}

// Ends the job before anything is written when two of its outputs, or an
// output and the input, name the same file.
void checkOutputCollisions(const JobPlan &plan, const JobSettings &settings);

// The warnings the plan owes, each printed at its place in the job.
void warnIfFormatRefused(const JobPlan &plan, const JobSettings &settings);
void warnIfQuantiseRefused(const JobPlan &plan, const JobSettings &settings);
void warnIfPalettesRefused(const JobPlan &plan);

// Ends the job when -base is combined with more than one sub-palette.
void checkPalettesAndBase(const JobPlan &plan, const JobSettings &settings);
