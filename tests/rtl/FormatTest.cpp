// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/rtl/Format.h"

#include <gtest/gtest.h>

class FormatTest : public testing::Test {
protected:
    void SetUp() override { SetDecimalSeparator('.'); }
};

TEST_F(FormatTest, GeneralFormatDropsTrailingZeros) {
    EXPECT_EQ(FloatToStrGeneral(1.5, 5, 2), "1.5");
    EXPECT_EQ(FloatToStrGeneral(1.0, 5, 2), "1");
    EXPECT_EQ(FloatToStrGeneral(1023.0 / 1024.0, 5, 2), "0.99902");
    EXPECT_EQ(FloatToStrGeneral(-3.25, 5, 2), "-3.25");
    EXPECT_EQ(FloatToStrGeneral(0, 5, 2), "0");
}

TEST_F(FormatTest, GeneralFormatRoundsHalvesAwayFromZero) {
    EXPECT_EQ(FloatToStrGeneral(1.25, 2, 2), "1.3");
    EXPECT_EQ(FloatToStrGeneral(99999.5, 5, 2), "1E+05");
    EXPECT_EQ(FloatToStrGeneral(9.99996, 5, 2), "10");
}

TEST_F(FormatTest, GeneralFormatSwitchesToScientific) {
    EXPECT_EQ(FloatToStrGeneral(123456.0, 5, 2), "1.2346E+05");
    EXPECT_EQ(FloatToStrGeneral(0.00001, 5, 2), "0.00001");
    EXPECT_EQ(FloatToStrGeneral(0.000001234, 5, 2), "1.234E-06");
}

TEST_F(FormatTest, GeneralFormatUsesTheUsersSeparator) {
    SetDecimalSeparator(',');
    EXPECT_EQ(FloatToStrGeneral(1.5, 5, 2), "1,5");
}

TEST_F(FormatTest, FixedPointAlwaysUsesAPoint) {
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatFixedPoint(12.34, 4), "12.3400");
    EXPECT_EQ(FormatFixedPoint(-0.5, 4), "-0.5000");
}

TEST_F(FormatTest, PrintfStyle) {
    EXPECT_EQ(Format("%s: Index out of bounds(%d)", "T.Get", 3), "T.Get: Index out of bounds(3)");
}

TEST(Texts, IndexErrorAndByteSizes) {
    EXPECT_EQ(IndexErrorText(7, "TStyleManager.GetQStyle"),
              "TStyleManager.GetQStyle: Index out of bounds(7)");
    EXPECT_EQ(IndexErrorText(-1, "TPattern.GetFrames"), "TPattern.GetFrames: Index out of bounds(-1)");

    SetDecimalSeparator('.');
    EXPECT_EQ(FormatByteSize(0), "0 bytes");
    EXPECT_EQ(FormatByteSize(1023), "1023 bytes");
    EXPECT_EQ(FormatByteSize(-5), "-5 bytes");
    EXPECT_EQ(FormatByteSize(-2048), "-2048 bytes");
    EXPECT_EQ(FormatByteSize(1024), "1 Kb");
    EXPECT_EQ(FormatByteSize(1536), "1.5 Kb");
    EXPECT_EQ(FormatByteSize(1048576), "1 Mb");
    EXPECT_EQ(FormatByteSize(1234567), "1.1774 Mb");
    EXPECT_EQ(FormatByteSize(1073741824), "1 Gb");
    EXPECT_EQ(FormatByteSize(2147483647), "2 Gb");
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatByteSize(1536), "1,5 Kb");
    SetDecimalSeparator('.');
}
