// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/CurveRecords.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <gtest/gtest.h>

TEST(Curves, RecordsAreLittleEndianFieldByField) {
    const TBezierCurves curves = {{{1, -2}, {0x01020304, 5}, {6, 7}, {-8, 0x7FFFFFFF}},
                                  {{9, 10}, {11, 12}, {13, 14}, {15, 16}}};
    TMemoryStream s;
    WriteCurves(s, curves);
    ASSERT_EQ(s.Size(), 64);
    const unsigned char* b = s.Memory();
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[4], 0xFE);
    EXPECT_EQ(b[7], 0xFF);
    EXPECT_EQ(b[8], 0x04);
    EXPECT_EQ(b[11], 0x01);
    EXPECT_EQ(b[28], 0xFF);
    EXPECT_EQ(b[31], 0x7F);
    EXPECT_EQ(b[32], 9);

    s.SetPosition(0);
    TBezierCurves back(2);
    ReadCurves(s, back);
    EXPECT_EQ(back, curves);
    EXPECT_EQ(s.Position(), 64);
}

TEST(Curves, ShortDataRaisesInsteadOfLeavingGarbage) {
    TMemoryStream s;
    WriteCurves(s, TBezierCurves(1, TBezierCurve{{1, 2}, {3, 4}, {5, 6}, {7, 8}}));
    s.WriteValue<uint32_t>(99); // a second record cut short
    s.SetPosition(0);
    TBezierCurves back(2);
    EXPECT_THROW(ReadCurves(s, back), Exception);
    s.SetPosition(0);
    TBezierCurves none;
    ReadCurves(s, none);
    EXPECT_EQ(s.Position(), 0);
}
