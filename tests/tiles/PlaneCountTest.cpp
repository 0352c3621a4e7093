// Plane count for colours, format and -planes; the base colour check and its messages.
#include "tiles/PlaneCount.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

namespace {

std::string capturedOutput() {
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

std::string nameOf(Format format) {
    return std::string(formatRow(format).name);
}

TEST(PlaneCount, LeastCountCoversTheColours) {
    const int32_t expected[][2] = {{0, 0},  {1, 0},  {2, 1},   {3, 2},   {4, 2},  {5, 3},
                                   {8, 3},  {9, 4},  {16, 4},  {17, 5},  {32, 5}, {33, 6},
                                   {64, 6}, {65, 7}, {128, 7}, {129, 8}, {256, 8}};
    for (const auto &row : expected)
        EXPECT_EQ(leastPlaneCount(row[0]), row[1]) << row[0] << " colours";
}

TEST(PlaneCount, SettleBeforeColourReduction) {
    struct Case {
        std::optional<int32_t> given;
        Format format;
        int32_t settled;
        const char *output;
    };
    const Case cases[] = {
        {std::nullopt, Format::L4, 0, ""},
        {std::nullopt, Format::P4, 0, ""},
        {3, Format::P4, 3, ""},
        {2, Format::L4, 2, "Warning: -planes ignored for linear/direct formats.\n"},
        {0, Format::D15, 0, "Warning: -planes ignored for linear/direct formats.\n"}};
    for (const Case &c : cases) {
        const PlaneRule rule = settlePlaneRule(c.given, formatRow(c.format));
        testing::internal::CaptureStdout();
        warnIfPlanesIgnored(rule);
        EXPECT_EQ(capturedOutput(), c.output) << c.given.value_or(-1) << " " << nameOf(c.format);
        EXPECT_EQ(rule.minPlanes, c.settled);
    }
}

TEST(PlaneCount, ChoiceFollowsColoursFormatAndRequest) {
    const char *const bad4 = "Warning: Bad value for -planes. Using default (4).\n";
    struct Case {
        int32_t colours;
        Format format;
        int32_t minPlanes, planes, minPlanesAfter;
        const char *output;
    };
    const Case cases[] = {
        {17, Format::P8, 0, 5, 0, ""},
        {16, Format::P8, 0, 4, 0, ""},
        {4, Format::P4, 0, 2, 0, ""},
        {4, Format::P4, 4, 4, 4, ""},
        {16, Format::P4, 2, 4, 2, ""},
        {1, Format::P4, 0, 0, 0, ""},
        {2, Format::L4, 2, 4, 2, ""},
        {200, Format::L8, 9, 8, 9, ""},
        {5, Format::D15, 0, 16, 0, ""},
        {4, Format::P4, 5, 4, 4, bad4},
        {4, Format::P4, -2, 4, 4, bad4},
        {2, Format::P2, 3, 2, 2, "Warning: Bad value for -planes. Using default (2).\n"},
    };
    for (const Case &c : cases) {
        const FormatRow &format = formatRow(c.format);
        // 0 stands for no -planes, as the plan settles it.
        const PlaneRule rule =
            settlePlaneRule(c.minPlanes == 0 ? std::nullopt : std::optional(c.minPlanes), format);
        testing::internal::CaptureStdout();
        warnIfPlanesBad(rule, format);
        EXPECT_EQ(choosePlaneCount(c.colours, 0, format, rule), c.planes)
            << c.colours << " colours, format " << nameOf(c.format) << ", planes " << c.minPlanes;
        EXPECT_EQ(capturedOutput(), c.output);
        EXPECT_EQ(rule.minPlanes, c.minPlanesAfter);
    }
}

// The planes hold the largest stored value, colours - 1 + base: with -base 8,
// eight colours are stored as 8..15 and need all four planes.
TEST(PlaneCount, TheBaseColourCountsInThePlanes) {
    const FormatRow &p4 = formatRow(Format::P4);
    const FormatRow &p8 = formatRow(Format::P8);
    EXPECT_EQ(choosePlaneCount(8, 8, p4, {}), 4);
    EXPECT_EQ(choosePlaneCount(8, 0, p4, {}), 3);
    EXPECT_EQ(choosePlaneCount(4, 4, p4, {}), 3);
    EXPECT_EQ(choosePlaneCount(1, 1, p4, {}), 1);
    EXPECT_EQ(choosePlaneCount(2, 0, p4, {}), 1);
    EXPECT_EQ(choosePlaneCount(200, 100, p8, {}), 8); // values wrap at 256: never past 8
    EXPECT_EQ(choosePlaneCount(2, 2, p4, settlePlaneRule(3, p4)), 3);
}

TEST(BaseColourCheck, ResetsBaseThatDoesNotFit) {
    struct Case {
        Format format;
        int32_t colours, base, planes, baseAfter;
        const char *output;
    };
    const Case cases[] = {
        {Format::P2, 2, 3, 1, 0,
         "Warning: base + # colors > 4. Using base=0.\nUsing 1 bitplanes (8 bytes) for each "
         "tile.\n"},
        {Format::P2, 2, 2, 1, 2, "Using 1 bitplanes (8 bytes) for each tile.\n"},
        {Format::P1, 2, 1, 1, 0,
         "Warning: base + # colors > 2. Using base=0.\nUsing 1 bitplanes (8 bytes) for each "
         "tile.\n"},
        {Format::P4, 16, 0, 4, 0, "Using 4 bitplanes (32 bytes) for each tile.\n"},
        {Format::P4, 10, 7, 4, 0,
         "Warning: base + # colors > 16. Using base=0.\n"
         "Using 4 bitplanes (32 bytes) for each tile.\n"},
        {Format::P4, 1, 0, 0, 0, "Using 0 bitplanes (0 bytes) for each tile.\n"},
        {Format::L4, 10, 7, 4, 0, "Warning: base + # colors > 16. Using base=0.\n"},
        {Format::L4, 10, 6, 4, 6, ""},
        {Format::L8, 200, 57, 8, 0, "Warning: base + # colors > 256. Using base=0.\n"},
        {Format::L8, 200, 56, 8, 56, ""},
        {Format::P8, 200, 100, 8, 100, ""},
        {Format::D15, 0, 100, 16, 100, ""},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStdout();
        const int32_t base = settleBaseColour(formatRow(c.format), c.colours, c.base);
        reportPlaneCount(formatRow(c.format), c.planes);
        EXPECT_EQ(capturedOutput(), c.output)
            << "format " << nameOf(c.format) << " base " << c.base;
        EXPECT_EQ(base, c.baseAfter) << "format " << nameOf(c.format) << " base " << c.base;
    }
}

} // namespace
