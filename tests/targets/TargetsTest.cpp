// Name lookups, the format rows and format reconciliation against a target.
#include "targets/Targets.hpp"

#include <gtest/gtest.h>

namespace {

TEST(Tables, FormatAndTargetLookupIsExact) {
    EXPECT_EQ(lookupFormat("p1"), Format::P1);
    EXPECT_EQ(lookupFormat("d15"), Format::D15);
    EXPECT_EQ(lookupFormat("l4"), Format::L4);
    EXPECT_FALSE(lookupFormat("P4"));
    EXPECT_EQ(lookupTarget("sms"), Target::Sms);
    EXPECT_EQ(lookupTarget("32x"), Target::Sega32x);
    EXPECT_FALSE(lookupTarget("SMS"));
    EXPECT_FALSE(lookupTarget(""));
    EXPECT_EQ(formatRow(Format::P2).colours, 4);
    EXPECT_EQ(formatRow(Format::L8).colours, 256);
    EXPECT_EQ(formatRow(Format::D15).colours, 0);
    EXPECT_EQ(signedPlanes(formatRow(Format::P8)), 8);
    EXPECT_EQ(signedPlanes(formatRow(Format::L4)), -4);
    EXPECT_EQ(signedPlanes(formatRow(Format::D15)), -16);
    EXPECT_EQ(formatRow(Format::L4).code, 16);
    for (const TargetRow &row : kTargets)
        EXPECT_EQ(&targetRow(row.target), &row);
}

TEST(Tables, FormatReconciliation) {
    struct Case {
        Target target;
        Format requested, expected;
        bool refused;
    };
    const Case cases[] = {
        {Target::Snes, Format::P8, Format::P8, false},
        {Target::Snes, Format::L4, Format::P4, true},
        {Target::Sega32x, Format::D15, Format::D15, false},
        {Target::Sega32x, Format::None, Format::L8, false},
        {Target::Smd, Format::P4, Format::L4, true},
        {Target::None, Format::P4, Format::L8, true},
        {Target::Tgx, Format::P1, Format::P4, true},
        {Target::Sms, Format::None, Format::P4, false},
        {Target::Sgg, Format::P1, Format::P1, false},
    };
    for (const Case &c : cases) {
        const TargetRow &row = targetRow(c.target);
        FormatChoice choice = reconcileFormat(row, c.requested);
        EXPECT_EQ(choice.format, c.expected) << row.name;
        EXPECT_EQ(choice.refused, c.refused) << row.name;
    }
}

} // namespace
