// Running a ROM in mednafen, headless, and reading back one recorded frame.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // red, green, blue, rows from the top

    const uint8_t *at(int x, int y) const {
        return rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
    }
};

// The emulator's path, or "" when it is not installed.
std::string mednafenPath();

// Runs the ROM with a fresh settings folder until frame `index` has been
// recorded (retrying with more time when the machine is slow) and returns
// that frame; nothing, with `error` set, when it cannot.
std::optional<Frame> recordFrame(const std::string &rom, int index, std::string &error);

// The PNG frames of a QuickTime recording, in order (exposed for the test of
// the reader itself).
std::vector<std::vector<uint8_t>> movieFrames(const std::vector<uint8_t> &movie);

std::optional<Frame> decodePngFrame(const std::vector<uint8_t> &png);
