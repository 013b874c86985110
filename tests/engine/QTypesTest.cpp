// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/QTypes.h"

#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

TEST(QTypes, PointAndRectangleArithmetic) {
    EXPECT_EQ(MidPoint(Point(-3, 0), Point(0, 0)), Point(-1, 0)); // toward zero, not floor
    EXPECT_EQ(MidPoint(Point(3, 5), Point(4, 8)), Point(3, 6));
    EXPECT_EQ(RectUnion(Rect(0, 5, 10, 6), Rect(3, -2, 4, 4)), Rect(0, -2, 10, 6));
    EXPECT_EQ(RectUnion(Rect(0, 0, 0, 0), Rect(5, 5, 6, 6)), Rect(0, 0, 6, 6)); // empty counts
    EXPECT_EQ(ScaleRect(Rect(1, 3, 5, -5), 0.5f), Rect(0, 2, 2, -2));           // halves to even
    TPoint p = Point(5, 7);
    ScalePoint(p, 1.5f);
    EXPECT_EQ(p, Point(8, 10)); // 7.5 -> 8, 10.5 -> 10
    std::vector<TPoint> pts = {Point(1, 1), Point(2, 3)};
    OffsetPoints(pts, Point(10, -1));
    EXPECT_EQ(pts, (std::vector<TPoint>{Point(11, 0), Point(12, 2)}));
    ScalePoints(pts, 2);
    EXPECT_EQ(pts, (std::vector<TPoint>{Point(22, 0), Point(24, 4)}));
    EXPECT_FLOAT_EQ(PointDistance(Point(0, 0), Point(3, 4)), 5.0f);
    // The control polygon, not the arc.
    EXPECT_FLOAT_EQ(BezierPolygonLength(TBezierCurve{Point(0, 0), Point(0, 10), Point(10, 10), Point(10, 0)}),
                    30.0f);
}

TEST(QTypes, StrokeCountFor) {
    EXPECT_EQ(StrokeCountFor(80, 50), 163);
    EXPECT_EQ(StrokeCountFor(100, 5), 106);
    EXPECT_EQ(StrokeCountFor(3, 0), 3);
    EXPECT_EQ(StrokeCountFor(80, 1), 81); // (240 + 5) div 3
    // 400 x 10^7 wraps at 32 bits to -294967296.
    EXPECT_EQ(StrokeCountFor(1, 10000000), (3 - 294967296) / 3);
    EXPECT_THROW(StrokeCountFor(0, 5), Exception);
}

TEST(QTypes, JitterDrawsInOrder) {
    RandSeed = 1234;
    TPoint p = Point(100, 200);
    JitterPoint(p, 10);
    RandSeed = 1234;
    const int rx = Random(10), ry = Random(10);
    EXPECT_EQ(p, Point(100 + rx - 5, 200 + ry - 5));

    // One common offset (two draws), then two draws per point.
    RandSeed = 99;
    std::vector<TPoint> pts = {Point(0, 0), Point(50, 50)};
    JitterPoints(pts, 20, 4);
    RandSeed = 99;
    const int dx = Random(20) - 10, dy = Random(20) - 10;
    const int a = Random(4), b = Random(4), c = Random(4), d = Random(4);
    EXPECT_EQ(pts[0], Point(dx + a - 2, dy + b - 2));
    EXPECT_EQ(pts[1], Point(50 + dx + c - 2, 50 + dy + d - 2));

    // Random(0) still draws: four draws even for coinciding ends.
    RandSeed = 5;
    std::vector<TPoint> same = {Point(3, 3), Point(9, 9), Point(3, 3)};
    JitterCurveEnds(same);
    EXPECT_EQ(same, (std::vector<TPoint>{Point(3, 3), Point(9, 9), Point(3, 3)}));
    uint32_t seed = 5;
    for (int i = 0; i < 4; ++i)
        seed = seed * 134775813u + 1u;
    EXPECT_EQ(RandSeed, seed);

    RandSeed = 77;
    std::vector<TPoint> ends = {Point(0, 0), Point(5, 5), Point(40, -20)};
    JitterCurveEnds(ends);
    RandSeed = 77;
    const int s0 = Random(20) - 10, t0 = Random(10) - 5, s1 = Random(20) - 10, t1 = Random(10) - 5;
    EXPECT_EQ(ends[0], Point(s0, t0));
    EXPECT_EQ(ends[1], Point(5, 5));
    EXPECT_EQ(ends[2], Point(40 + s1, -20 + t1));
    std::vector<TPoint> none;
    JitterCurveEnds(none); // nothing to move, nothing read
}

TEST(QTypes, NewFilledBitmap) {
    auto b = NewFilledBitmap(3, 2, 0x80112233);
    ASSERT_EQ(b->Width(), 3);
    ASSERT_EQ(b->Height(), 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(b->Pixel(x, y), 0x80112233u);
}

TEST(QTypes, GuideWeight) {
    EXPECT_FLOAT_EQ(GuideWeight(10), 1.0f);
    EXPECT_FLOAT_EQ(GuideWeight(1), 1000.0f);
    EXPECT_FLOAT_EQ(GuideWeight(0), 1000.0f);
    EXPECT_FLOAT_EQ(GuideWeight(-5), 1000.0f);
    EXPECT_FLOAT_EQ(GuideWeight(20), 0.125f);
}

TEST(QTypes, GuideDirectionAt) {
    const TGuideSample none = GuideDirectionAt({}, Point(4, 5));
    EXPECT_EQ(none.X, 4);
    EXPECT_EQ(none.Y, 5);
    EXPECT_EQ(none.DX, 0.0f);
    EXPECT_EQ(none.DY, 0.0f);

    // One sample at P: its direction, folded to DY >= 0.
    TGuideSample s{4, 5, 0.6f, -0.8f};
    TGuideSample r = GuideDirectionAt({&s, 1}, Point(4, 5));
    EXPECT_FLOAT_EQ(r.DX, -0.6f);
    EXPECT_FLOAT_EQ(r.DY, 0.8f);
    s = {4, 5, -0.6f, -0.8f};
    r = GuideDirectionAt({&s, 1}, Point(4, 5));
    EXPECT_FLOAT_EQ(r.DX, 0.6f);
    EXPECT_FLOAT_EQ(r.DY, 0.8f);
    s = {4, 5, 1.0f, 0.0f}; // vy = 0, vx > 0: signs differ, so the result points left
    r = GuideDirectionAt({&s, 1}, Point(4, 5));
    EXPECT_EQ(r.DX, -1.0f);
    EXPECT_EQ(r.DY, 0.0f);

    // Two samples at distances 10 and 20 weigh 1 and 1/8.
    const TGuideSample two[] = {{10, 0, 1.0f, 1.0f}, {-20, 0, 0.0f, 9.0f}};
    r = GuideDirectionAt(two, Point(0, 0));
    EXPECT_NEAR(r.DX, 8.0 / 9.0, 1e-6);
    EXPECT_NEAR(r.DY, 8.0 / 9.0 + 1.0, 1e-6);
}

TEST(QTypes, VectorToDirectionByte) {
    EXPECT_EQ(VectorToDirectionByte(1, 1), 16);
    EXPECT_EQ(VectorToDirectionByte(0, 1), 0);
    EXPECT_EQ(VectorToDirectionByte(1, -1), 48);
    EXPECT_EQ(VectorToDirectionByte(0, -1), 64);
    EXPECT_EQ(VectorToDirectionByte(0, 0), 191);
    EXPECT_EQ(VectorToDirectionByte(-1, 0), 191);
    EXPECT_EQ(VectorToDirectionByte(1, 0), 64);
    EXPECT_EQ(VectorToDirectionByte(-1, 1), 239);
    // Every vector lands in 0..64 or 191..255.
    for (int k = 0; k < 3600; ++k) {
        const double a = k * 2 * 3.14159265358979 / 3600;
        const int b = VectorToDirectionByte(static_cast<float>(std::sin(a)), static_cast<float>(std::cos(a)));
        EXPECT_TRUE(b <= 64 || b >= 191) << k;
    }
}

TEST(QTypes, HSLToRGBBytesIsAvailable) {
    uint8_t r, g, b;
    HSLToRGBBytes(r, g, b, 0, 0, 0.5f);
    EXPECT_EQ(r, 128);
    EXPECT_EQ(g, 128);
    EXPECT_EQ(b, 128);
}

TEST(QTypes, FillStrokeOutline) {
    TBitmap32 b;
    b.SetSize(20, 20);
    b.Clear(clWhite32);
    // Left side along the top, right side along the bottom: the right side is walked backwards,
    // which closes the square (2, 2) - (10, 10); the scale 0.5 halves it to (1, 1) - (5, 5).
    const TArrayOfFixedPoint left = {FixedPointFromInt(4, 4), FixedPointFromInt(20, 4)};
    const TArrayOfFixedPoint right = {FixedPointFromInt(4, 20), FixedPointFromInt(20, 20)};
    FillStrokeOutline(left, right, b, clBlack32, 0.5f);
    EXPECT_EQ(b.Pixel(2, 2), clBlack32);
    EXPECT_EQ(b.Pixel(9, 9), clBlack32);
    EXPECT_EQ(b.Pixel(10, 10), clWhite32);
    EXPECT_EQ(b.Pixel(1, 1), clWhite32);
    // Right walked forwards would have crossed the polygon into a bow tie; it does not here.
    EXPECT_EQ(b.Pixel(9, 2), clBlack32);
    EXPECT_EQ(b.Pixel(2, 9), clBlack32);
}

TEST(QTypes, CropAndZoomCrop) {
    TBitmap32 src;
    src.SetSize(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            src.SetPixel(x, y, Color32(static_cast<uint8_t>(x), static_cast<uint8_t>(y), 7));
    auto whole = ZoomCropBitmap(src, 100);
    ASSERT_EQ(whole->Width(), 256);
    ASSERT_EQ(whole->Height(), 256);
    EXPECT_EQ(whole->Pixel(0, 0), src.Pixel(0, 0));
    EXPECT_EQ(whole->Pixel(255, 200), src.Pixel(255, 200));
    auto half = ZoomCropBitmap(src, 50);
    ASSERT_EQ(half->Width(), 128);
    ASSERT_EQ(half->Height(), 128);
    EXPECT_EQ(half->Pixel(0, 0), src.Pixel(64, 64));
    EXPECT_EQ(half->Pixel(127, 127), src.Pixel(191, 191));
    auto crop = CropBitmap(src, Rect(250, 10, 260, 12));
    ASSERT_EQ(crop->Width(), 10);
    EXPECT_EQ(crop->Pixel(0, 0), src.Pixel(250, 10));
    EXPECT_EQ(crop->Pixel(5, 1), src.Pixel(255, 11));
    EXPECT_EQ(crop->Pixel(6, 1), 0u); // outside the source
    auto none = CropBitmap(src, Rect(5, 5, 3, 3));
    EXPECT_TRUE(none->Empty());
}

TEST(QTypes, DashedCircleAndArc) {
    TBitmap32 b;
    b.SetSize(60, 60);
    b.Clear(clWhite32);
    DrawDashedCircle(b, Point(30, 30), clBlack32, 20, clBlack32);
    // A solid circle: every row it spans has dark pixels near the radius, and the centre stays white.
    EXPECT_EQ(b.Pixel(30, 30), clWhite32);
    for (int y = 12; y <= 48; ++y) {
        bool dark = false;
        for (int x = 0; x < 60; ++x)
            dark = dark || RedComponent(b.Pixel(x, y)) < 128;
        EXPECT_TRUE(dark) << y;
    }
    // Two colours alternate along the circle.
    TBitmap32 c;
    c.SetSize(60, 60);
    c.Clear(clWhite32);
    DrawDashedCircle(c, Point(30, 30), 0xFFFF0000, 20, 0xFF0000FF);
    int reds = 0, blues = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) {
            const TColor32 p = c.Pixel(x, y);
            reds += GreenComponent(p) < 100 && BlueComponent(p) < 100;
            blues += GreenComponent(p) < 100 && RedComponent(p) < 100;
        }
    EXPECT_GT(reds, 10);
    EXPECT_GT(blues, 10);

    TBitmap32 arc;
    arc.SetSize(60, 60);
    arc.Clear(clWhite32);
    arc.SetStipple({clBlack32, clBlack32});
    DrawCircleArc(arc, Point(30, 30), clBlack32, 20, 0, 1.5f);
    EXPECT_LT(RedComponent(arc.Pixel(50, 31)) + RedComponent(arc.Pixel(50, 30)) +
                  RedComponent(arc.Pixel(49, 31)),
              3 * 255);
    EXPECT_EQ(arc.Pixel(10, 30), clWhite32); // the left half is not drawn
}
