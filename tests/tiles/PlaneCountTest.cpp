// Plane count for colours, format and -planes; the base colour check and its messages.
#include "tiles/PlaneCount.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string capturedOutput() {
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

int32_t planesOf(FormatCode format) {
    FormatTables tables;
    fillFormatTables(tables);
    return tables.planesPerFormat[static_cast<size_t>(format)];
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
        int32_t given;
        FormatCode format;
        int32_t settled;
        const char *output;
    };
    const Case cases[] = {
        {-1, kFormatL4, 0, ""},
        {-1, kFormatP4, 0, ""},
        {3, kFormatP4, 3, ""},
        {2, kFormatL4, 2, "Warning: -planes ignored for linear/direct formats.\n"},
        {0, kFormatD15, 0, "Warning: -planes ignored for linear/direct formats.\n"}};
    for (const Case &c : cases) {
        int32_t minPlanes = c.given;
        testing::internal::CaptureStdout();
        settleMinPlanes(minPlanes, planesOf(c.format));
        EXPECT_EQ(capturedOutput(), c.output) << c.given << " " << c.format;
        EXPECT_EQ(minPlanes, c.settled);
    }
}

TEST(PlaneCount, ChoiceFollowsColoursFormatAndRequest) {
    const char *const bad4 = "Warning: Bad value for -planes. Using default (4).\n";
    struct Case {
        int32_t colours;
        FormatCode format;
        int32_t minPlanes, planes, minPlanesAfter;
        const char *output;
    };
    const Case cases[] = {
        {17, kFormatP8, 0, 5, 0, ""},
        {16, kFormatP8, 0, 4, 0, ""},
        {4, kFormatP4, 0, 2, 0, ""},
        {4, kFormatP4, 4, 4, 4, ""},
        {16, kFormatP4, 2, 4, 2, ""},
        {1, kFormatP4, 0, 0, 0, ""},
        {2, kFormatL4, 2, 4, 2, ""},
        {200, kFormatL8, 9, 8, 9, ""},
        {5, kFormatD15, 0, 16, 0, ""},
        {4, kFormatP4, 5, 4, 4, bad4},
        {4, kFormatP4, -2, 4, 4, bad4},
        {2, kFormatP2, 3, 2, 2, "Warning: Bad value for -planes. Using default (2).\n"},
    };
    for (const Case &c : cases) {
        int32_t minPlanes = c.minPlanes;
        testing::internal::CaptureStdout();
        EXPECT_EQ(choosePlaneCount(c.colours, planesOf(c.format), minPlanes), c.planes)
            << c.colours << " colours, format " << c.format << ", planes " << c.minPlanes;
        EXPECT_EQ(capturedOutput(), c.output);
        EXPECT_EQ(minPlanes, c.minPlanesAfter);
    }
}

TEST(BaseColourCheck, ResetsBaseThatDoesNotFit) {
    struct Case {
        FormatCode format;
        int32_t colours, base, planes, baseAfter;
        const char *output;
    };
    const Case cases[] = {
        {kFormatP2, 2, 3, 1, 0,
         "Warning: base + # colors > 4. Using base=0.\nUsing 1 bitplanes (8 bytes) for each "
         "tile.\n"},
        {kFormatP2, 2, 2, 1, 2, "Using 1 bitplanes (8 bytes) for each tile.\n"},
        {kFormatP1, 2, 1, 1, 0,
         "Warning: base + # colors > 2. Using base=0.\nUsing 1 bitplanes (8 bytes) for each "
         "tile.\n"},
        {kFormatP4, 16, 0, 4, 0, "Using 4 bitplanes (32 bytes) for each tile.\n"},
        {kFormatP4, 10, 7, 4, 0,
         "Warning: base + # colors > 16. Using base=0.\n"
         "Using 4 bitplanes (32 bytes) for each tile.\n"},
        {kFormatP4, 1, 0, 0, 0, "Using 0 bitplanes (0 bytes) for each tile.\n"},
        {kFormatL4, 10, 7, 4, 0, "Warning: base + # colors > 16. Using base=0.\n"},
        {kFormatL4, 10, 6, 4, 6, ""},
        {kFormatL8, 200, 57, 8, 0, "Warning: base + # colors > 256. Using base=0.\n"},
        {kFormatL8, 200, 56, 8, 56, ""},
        {kFormatP8, 200, 100, 8, 100, ""},
        {kFormatD15, 0, 100, 16, 100, ""},
    };
    for (const Case &c : cases) {
        int32_t base = c.base;
        testing::internal::CaptureStdout();
        checkBaseColour(c.format, c.colours, c.planes, base);
        EXPECT_EQ(capturedOutput(), c.output) << "format " << c.format << " base " << c.base;
        EXPECT_EQ(base, c.baseAfter) << "format " << c.format << " base " << c.base;
    }
}

} // namespace
