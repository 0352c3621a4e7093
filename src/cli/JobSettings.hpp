// Every option value of one run as the user gave it, and the names derived
// from them. Filled by the command line and read, never written, afterwards.
#pragma once

#include "targets/Targets.hpp"

#include <cstdint>
#include <optional>
#include <string>

enum class CompressionMode : uint8_t { None, Pack, Unpack };

enum class ResizeFilter : uint8_t { Nearest, Smooth };

constexpr int32_t kDefaultDictSize = 4096;
constexpr int32_t kDefaultThreshold = 2;

struct JobSettings {
    std::string inputName;
    std::string inputBaseName;
    std::string outputName; // as given with -o; empty when not given
    std::string outputBaseName;
    std::string previewName;
    std::string romName; // -rom: the viewer ROM
    CompressionMode compressionMode = CompressionMode::None;
    bool verbose = false;
    bool imageInput = false;
    bool optimiseTiles = false;
    bool dither = false;
    bool transparency = false;
    bool chainTiles = false;
    bool writeCode = false;
    bool autoCompress = false;
    int32_t bgX = 0;
    int32_t bgY = 0;
    std::optional<int32_t> minPlanes; // -planes
    std::optional<int32_t> threshold; // -threshold; kDefaultThreshold when not given
    std::optional<int32_t> dictSize;  // -dict; kDefaultDictSize when not given
    int32_t baseColour = 0;
    std::optional<int32_t> quantiseColours; // -q
    std::optional<int32_t> palettes;        // -palettes
    int32_t newWidth = 0;
    int32_t newHeight = 0;
    ResizeFilter resizeFilter = ResizeFilter::Nearest;
    Format format = Format::None;
    Target target = Target::None;
    int32_t threads = 0; // -j; 0: as many as the machine has cores
};
