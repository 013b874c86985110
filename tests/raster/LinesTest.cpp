// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/raster/Bitmap32.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

namespace {

constexpr TColor32 kBack = 0xFF102030;

int CountNot(const TBitmap32& B, TColor32 C) {
    int n = 0;
    for (int y = 0; y < B.Height(); ++y)
        for (int x = 0; x < B.Width(); ++x)
            n += B.Pixel(x, y) != C;
    return n;
}

// Draws with Draw(bitmap, dx, dy) into a 12 x 9 bitmap and, shifted by (40, 40), into a large one:
// the small bitmap must equal the large one's window, so clipping takes exactly the pixels the
// unclipped line has there.
::testing::AssertionResult ClipsLikeTheUnclipped(const std::function<void(TBitmap32&, int, int)>& Draw) {
    TBitmap32 small(12, 9), large(100, 100);
    small.Clear(kBack);
    large.Clear(kBack);
    Draw(small, 0, 0);
    Draw(large, 40, 40);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x)
            if (small.Pixel(x, y) != large.Pixel(x + 40, y + 40))
                return ::testing::AssertionFailure() << "differs at " << x << ", " << y;
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(Lines, AliasedLineOmitsItsLastPixelUnlessAsked) {
    TBitmap32 b(8, 6);
    b.Clear(kBack);
    b.LineS(1, 1, 5, 1, clRed32);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(b.Pixel(x, 1), x >= 1 && x < 5 ? clRed32 : kBack) << x;
    b.LineS(5, 4, 1, 4, clRed32, true); // backwards, both ends
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(b.Pixel(x, 4), x >= 1 && x <= 5 ? clRed32 : kBack) << x;
    b.LineS(7, 0, 7, 0, clBlue32); // a point without its last pixel is nothing
    EXPECT_EQ(b.Pixel(7, 0), kBack);
    b.LineS(7, 0, 7, 0, clBlue32, true);
    EXPECT_EQ(b.Pixel(7, 0), clBlue32);
    // A diagonal sets one pixel per step.
    b.Clear(kBack);
    b.LineS(0, 0, 4, 4, clWhite32);
    EXPECT_EQ(CountNot(b, kBack), 4);
    EXPECT_EQ(b.Pixel(3, 3), clWhite32);
    EXPECT_EQ(b.Pixel(4, 4), kBack);
    // A shallow line steps in x and takes the nearest row.
    b.Clear(kBack);
    b.LineS(0, 0, 6, 2, clWhite32, true);
    for (int x = 0; x <= 6; ++x) {
        const int y = (2 * x + 3) / 6; // nearest row of x / 3, halves down the line
        EXPECT_EQ(b.Pixel(x, y), clWhite32) << x;
    }
    EXPECT_EQ(CountNot(b, kBack), 7);
}

TEST(Lines, EveryLineClipsAtEverySideLikeTheUnclippedLine) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> c(-25, 35);
    std::uniform_int_distribution<int> f64(-25 * 64, 35 * 64); // sixty-fourths: exact when moved
    auto f = [&](std::mt19937& r) { return f64(r) / 64.0f; };
    for (int n = 0; n < 500; ++n) {
        const int x1 = c(rng), y1 = c(rng), x2 = c(rng), y2 = c(rng);
        const bool last = n % 2 == 0;
        ASSERT_TRUE(ClipsLikeTheUnclipped([&](TBitmap32& b, int dx, int dy) {
            b.LineS(x1 + dx, y1 + dy, x2 + dx, y2 + dy, clRed32, last);
        })) << "LineS "
            << x1 << "," << y1 << " " << x2 << "," << y2;
        ASSERT_TRUE(ClipsLikeTheUnclipped([&](TBitmap32& b, int dx, int dy) {
            b.LineAS(x1 + dx, y1 + dy, x2 + dx, y2 + dy, 0xC0FFFFFF, last);
        })) << "LineAS "
            << x1 << "," << y1 << " " << x2 << "," << y2;
        const float fx1 = f(rng), fy1 = f(rng), fx2 = f(rng), fy2 = f(rng);
        ASSERT_TRUE(ClipsLikeTheUnclipped([&](TBitmap32& b, int dx, int dy) {
            b.SetStipple({clRed32, clGreen32, 0x00000000, clBlue32});
            b.StippleStep = 0.7f;
            b.StippleCounter = 0;
            b.LineFSP(fx1 + dx, fy1 + dy, fx2 + dx, fy2 + dy, last);
        })) << "LineFSP "
            << fx1 << "," << fy1 << " " << fx2 << "," << fy2;
    }
}

TEST(Lines, HugeAndInvalidCoordinatesAreSafe) {
    TBitmap32 b(10, 7);
    b.Clear(kBack);
    b.LineS(INT_MIN, 3, INT_MAX, 3, clRed32);
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(b.Pixel(x, 3), clRed32);
    EXPECT_EQ(CountNot(b, kBack), 10);
    b.LineS(INT_MIN, INT_MIN, INT_MAX, INT_MAX, clRed32, true);
    b.LineS(INT_MAX, INT_MIN, INT_MIN, INT_MAX, clRed32, true);
    b.LineAS(INT_MIN, INT_MAX, INT_MAX, INT_MIN, clRed32, true);
    b.LineAS(5, INT_MIN, 5, INT_MAX, clBlue32);
    for (int y = 0; y < 7; ++y)
        EXPECT_EQ(b.Pixel(5, y), clBlue32);
    b.SetStipple({clWhite32});
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float big = std::numeric_limits<float>::max();
    b.LineFSP(-big, -big, big, big, true);
    b.LineFSP(-big, 2, big, 2.5f, true);
    b.LineFSP(nan, 1, 3, 3);
    b.LineFSP(0, 0, inf, 3);
    b.LineXSP(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, true);
    b.MoveToF(nan, nan);
    b.LineToFS(3, 3);
    b.LineToFS(-big, big);
    TBitmap32 empty;
    empty.LineS(0, 0, 5, 5, clRed32, true);
    empty.LineAS(0, 0, 5, 5, clRed32, true);
}

TEST(Lines, AntialiasedLinesSplitEachStepBetweenTwoPixels) {
    TBitmap32 b(8, 6);
    b.Clear(clBlack32);
    // On whole positions the line is solid.
    b.LineAS(1, 2, 6, 2, clWhite32);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(b.Pixel(x, 2), x >= 1 && x < 6 ? clWhite32 : clBlack32) << x;
    EXPECT_EQ(CountNot(b, clBlack32), 5);
    // Half way between rows 3 and 4 both get half.
    b.Clear(clBlack32);
    b.LineFSP(0, 3.5f, 4, 3.5f); // no stipple: nothing
    EXPECT_EQ(CountNot(b, clBlack32), 0);
    b.SetStipple({clWhite32});
    b.LineFSP(0, 3.5f, 4, 3.5f, true);
    for (int x = 0; x <= 4; ++x) {
        EXPECT_EQ(b.Pixel(x, 3), BlendChannels(clWhite32, clBlack32, 127)) << x;
        EXPECT_EQ(b.Pixel(x, 4), BlendChannels(clWhite32, clBlack32, 128)) << x;
    }
    // A weight of exactly half a level goes to the even one, as every rounding does: a sixth of a
    // pixel is 42.5 of 255.
    b.Clear(clBlack32);
    b.LineAS(0, 0, 6, 1, clWhite32);
    EXPECT_EQ(b.Pixel(1, 1), BlendChannels(clWhite32, clBlack32, 42));
    EXPECT_EQ(b.Pixel(1, 0), BlendChannels(clWhite32, clBlack32, 213));
    // The weights of one step add up to the colour's alpha.
    b.Clear(clBlack32);
    b.LineAS(0, 0, 7, 3, clWhite32, true);
    for (int x = 0; x <= 7; ++x) {
        int sum = 0;
        for (int y = 0; y < 6; ++y)
            sum += RedComponent(b.Pixel(x, y));
        EXPECT_EQ(sum, 255) << x;
    }
}

TEST(Lines, StippleColoursFollowTheCounterAcrossLines) {
    TBitmap32 b(12, 3);
    b.Clear(kBack);
    b.SetStipple({clRed32, clBlue32});
    b.StippleStep = 1.0f;
    b.StippleCounter = 0.0f;
    b.LineXSP(FixedFromInt(0), FixedFromInt(1), FixedFromInt(3), FixedFromInt(1)); // 3 pixels
    b.LineXSP(FixedFromInt(3), FixedFromInt(1), FixedFromInt(6), FixedFromInt(1)); // continues
    const TColor32 want[6] = {clRed32, clBlue32, clRed32, clBlue32, clRed32, clBlue32};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(b.Pixel(x, 1), want[x]) << x;
    EXPECT_EQ(b.Pixel(6, 1), kBack);
    EXPECT_FLOAT_EQ(b.StippleCounter, 0.0f); // six steps through a pattern of two

    // Half steps blend toward the next colour; a transparent entry leaves a gap.
    b.Clear(kBack);
    b.SetStipple({clRed32, clBlue32});
    b.StippleStep = 0.5f;
    b.StippleCounter = 0.0f;
    b.LineFSP(0, 0, 4, 0);
    EXPECT_EQ(b.Pixel(0, 0), clRed32);
    EXPECT_EQ(b.Pixel(1, 0), BlendChannels(clBlue32, clRed32, 128));
    EXPECT_EQ(b.Pixel(2, 0), clBlue32);
    EXPECT_EQ(b.Pixel(3, 0), BlendChannels(clRed32, clBlue32, 128));
    b.SetStipple({clWhite32, 0x00FFFFFF});
    b.StippleStep = 1.0f;
    b.StippleCounter = 0.0f;
    b.LineFSP(0, 2, 4, 2, true);
    for (int x = 0; x <= 4; ++x)
        EXPECT_EQ(b.Pixel(x, 2), x % 2 == 0 ? clWhite32 : kBack) << x;
}

TEST(Lines, PenLinesChainFromThePenPosition) {
    TBitmap32 b(8, 8);
    b.Clear(clBlack32);
    b.PenColor = clGreen32;
    b.MoveToF(1, 1);
    b.LineToFS(5, 1);
    b.LineToFS(5, 5);
    for (int x = 1; x < 5; ++x)
        EXPECT_EQ(b.Pixel(x, 1), clGreen32);
    for (int y = 1; y < 5; ++y)
        EXPECT_EQ(b.Pixel(5, y), clGreen32);
    EXPECT_EQ(b.Pixel(5, 5), clBlack32); // the pen's last position is not painted
    EXPECT_EQ(CountNot(b, clBlack32), 8);
}
