// Every option value of one run, and the names derived from them.
#pragma once

#include "cli/Tables.hpp"

#include <cstdint>
#include <string>

enum class CompressionMode : int32_t { None = 0, Pack = 1, Unpack = 2 };

constexpr int32_t kDefaultDictSize = 4096;
constexpr int32_t kDefaultThreshold = 2;

struct JobSettings {
    std::string inputName;
    std::string inputBaseName;
    std::string outputName;
    std::string outputBaseName;
    std::string previewName;
    CompressionMode compressionMode = CompressionMode::None;
    int32_t verbose = 0;
    int32_t imageInput = 0;
    int32_t optimiseTiles = 0;
    int32_t dither = 0;
    int32_t transparency = 0;
    int32_t chainTiles = 0;
    int32_t writeCode = 0;
    int32_t autoCompress = 0;
    int32_t bgX = 0;
    int32_t bgY = 0;
    int32_t minPlanes = -1;
    int32_t threshold = kDefaultThreshold;
    int32_t dictSize = kDefaultDictSize;
    int32_t baseColour = 0;
    int32_t quantiseColours = 0;
    bool quantiseGiven = false; // -q appeared on the command line
    int32_t newWidth = 0;
    int32_t newHeight = 0;
    int32_t resizeMode = 1;
    FormatCode format = 0;
    TargetId target = kTargetNone;
};
