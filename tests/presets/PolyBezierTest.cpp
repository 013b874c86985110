// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/PolyBezier.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>

namespace {

constexpr TColor32 Grey = 0xFF808080;
constexpr TColor32 Red = 0xFFFF0000;

// A shape from (20, 50) with one straight cubic to (80, 50), its controls at 40 and 60.
std::unique_ptr<TPolyBezier> StraightCubic() {
    auto shape = std::make_unique<TPolyBezier>(Point(20, 50));
    shape->AddBezier(Point(40, 50), Point(60, 50), Point(80, 50));
    shape->SetColor(Red);
    return shape;
}

TPolyBezierSegment Line(int X, int Y) {
    TPolyBezierSegment segment;
    segment.Kind = skLine;
    segment.SetC1(Point(X, Y));
    return segment;
}

} // namespace

TEST(PolyBezier, SegmentRecordIs25PackedBytes) {
    EXPECT_EQ(sizeof(TPolyBezierSegment), 25u);
    EXPECT_EQ(offsetof(TPolyBezierSegment, C1X), 1u);
    EXPECT_EQ(offsetof(TPolyBezierSegment, C2X), 9u);
    EXPECT_EQ(offsetof(TPolyBezierSegment, EndX), 17u);
}

TEST(PolyBezier, ChainStartsBeziersAndIndexErrors) {
    TPolyBezier shape(Point(0, 0));
    EXPECT_EQ(shape.SelectedSegment, -1);
    EXPECT_EQ(shape.HitTolerance, 8);
    EXPECT_EQ(shape.BandWidth, 1.0f);
    EXPECT_NE(shape.HandleBitmap, nullptr);
    EXPECT_EQ(shape.AddSegment(Line(-3, 4)), 0);
    shape.AddBezier(Point(1, 1), Point(2, 2), Point(9, 9));
    EXPECT_EQ(shape.SegmentCount(), 2);
    EXPECT_EQ(shape.SelectedSegment, 1);
    EXPECT_EQ(shape.SelectedHandle, 4);
    EXPECT_EQ(shape.SegmentStart(-5), Point(0, 0));
    EXPECT_EQ(shape.SegmentStart(1), Point(-3, 4));
    EXPECT_EQ(shape.SelectedStart(), Point(-3, 4));
    // A line as a cubic: both controls at its midpoint, halves truncated toward zero.
    EXPECT_EQ(shape.GetBezier(0), (TBezierCurve{Point(0, 0), Point(-1, 2), Point(-1, 2), Point(-3, 4)}));
    EXPECT_EQ(shape.GetBezier(1), (TBezierCurve{Point(-3, 4), Point(1, 1), Point(2, 2), Point(9, 9)}));
    for (int index : {-1, 2}) {
        try {
            shape.GetBezier(index);
            FAIL();
        } catch (const Exception& E) {
            EXPECT_EQ(std::string(E.what()),
                      "TPolyBezier.GetSegment: Index out of bounds(" + std::to_string(index) + ")");
        }
    }
}

TEST(PolyBezier, NotificationsOfColourSelectionAndEdits) {
    TPolyBezier shape(Point(0, 0));
    int changes = 0;
    shape.SetOnChange([&](void* Sender) {
        EXPECT_EQ(Sender, &shape);
        ++changes;
    });
    shape.SetColor(0);
    EXPECT_EQ(changes, 0);
    shape.SetColor(Red);
    shape.SetSelected(true);
    shape.SetSelected(true);
    EXPECT_EQ(changes, 3);
    shape.ShowHandles(true);
    shape.SetBandWidth(4.0f);
    shape.AddSegment(Line(5, 5));
    EXPECT_EQ(changes, 3);
    shape.AddBezier(Point(1, 1), Point(2, 2), Point(3, 3));
    EXPECT_EQ(changes, 4);
    EXPECT_FALSE(shape.HitTest(Point(0, 0), 100, 100));
    EXPECT_TRUE(shape.HitTest(Point(0, 0), 0, 0));
    EXPECT_EQ(changes, 4); // hit tests never notify
}

TEST(PolyBezier, HitTestToleranceAndPrecedence) {
    TPolyBezier shape(Point(10, 10));
    shape.AddBezier(Point(30, 10), Point(30, 10), Point(50, 10));
    shape.AddSegment(Line(70, 10));
    // Manhattan distance below 8, after the view offset is taken off.
    EXPECT_TRUE(shape.HitTest(Point(100, 200), 114, 213));
    EXPECT_EQ(shape.ViewOffset, Point(100, 200));
    EXPECT_EQ(shape.SelectedSegment, -1);
    EXPECT_EQ(shape.SelectedHandle, -1);
    EXPECT_FALSE(shape.HitTest(Point(0, 0), 14, 14)); // distance 8
    EXPECT_EQ(shape.SelectedHandle, -1);              // a miss keeps the selection
    // C1 wins over C2 at the same place; the line's point is handle 1.
    EXPECT_TRUE(shape.HitTest(Point(0, 0), 31, 11));
    EXPECT_EQ(shape.SelectedSegment, 0);
    EXPECT_EQ(shape.SelectedHandle, 2);
    EXPECT_TRUE(shape.HitTest(Point(0, 0), 70, 12));
    EXPECT_EQ(shape.SelectedSegment, 1);
    EXPECT_EQ(shape.SelectedHandle, 1);
    // The end of segment 0 is the start of segment 1: it belongs to segment 0.
    EXPECT_TRUE(shape.HitTest(Point(0, 0), 50, 10));
    EXPECT_EQ(shape.SelectedSegment, 0);
    EXPECT_EQ(shape.SelectedHandle, 4);

    // The origin wins over a handle on it, and an earlier segment over a later one.
    TPolyBezier stacked(Point(0, 0));
    stacked.AddBezier(Point(0, 0), Point(5, 5), Point(5, 5));
    stacked.AddBezier(Point(5, 5), Point(5, 5), Point(9, 9));
    EXPECT_TRUE(stacked.HitTest(Point(0, 0), 0, 0));
    EXPECT_EQ(stacked.SelectedSegment, -1);
    EXPECT_TRUE(stacked.HitTest(Point(0, 0), 5, 5));
    EXPECT_EQ(stacked.SelectedSegment, 0);
    EXPECT_EQ(stacked.SelectedHandle, 3);
    // A cubic's start is not a target of its own segment: only the previous end is.
    TPolyBezier chain(Point(0, 0));
    chain.AddSegment(Line(40, 0));
    chain.AddBezier(Point(60, 0), Point(80, 0), Point(100, 0));
    chain.HitTolerance = 3;
    EXPECT_TRUE(chain.HitTest(Point(0, 0), 40, 0));
    EXPECT_EQ(chain.SelectedSegment, 0);
    EXPECT_EQ(chain.SelectedHandle, 1);
}

TEST(PolyBezier, MovingPoints) {
    TPolyBezier shape(Point(0, 0));
    shape.AddBezier(Point(1, 1), Point(2, 2), Point(3, 3));
    // The curve tools drag the end of a fresh curve with straightening.
    shape.MoveSelected(5, 7, true);
    EXPECT_EQ(shape.GetBezier(0), (TBezierCurve{Point(0, 0), Point(2, 3), Point(2, 3), Point(5, 7)}));
    shape.MoveHandle(2, -20, 0);
    shape.MoveHandle(3, 30, 30);
    shape.MoveHandle(4, 60, 60);
    EXPECT_EQ(shape.GetBezier(0), (TBezierCurve{Point(0, 0), Point(-20, 0), Point(30, 30), Point(60, 60)}));
    ASSERT_TRUE(shape.HitTest(Point(0, 0), 32, 30));
    EXPECT_EQ(shape.SelectedHandle, 3);
    shape.MoveSelected(7, 8, false);
    EXPECT_EQ(shape.GetSegment(0).C2(), Point(7, 8));
    // The origin moves the start of segment 0 with it.
    ASSERT_TRUE(shape.HitTest(Point(0, 0), 0, 0));
    shape.MoveSelected(4, 4, true);
    EXPECT_EQ(shape.Origin, Point(4, 4));
    EXPECT_EQ(shape.SegmentStart(0), Point(4, 4));
    EXPECT_EQ(shape.GetSegment(0).C2(), Point(7, 8));

    // A line's point moves whatever the handle.
    TPolyBezier line(Point(0, 0));
    line.AddSegment(Line(9, 9));
    line.SelectedSegment = 0;
    line.MoveHandle(3, 1, 2);
    EXPECT_EQ(line.GetSegment(0).C1(), Point(1, 2));

    // Without a selected segment there is nothing to move (and no notification).
    TPolyBezier fresh(Point(0, 0));
    fresh.AddSegment(Line(9, 9));
    int changes = 0;
    fresh.SetOnChange([&](void*) { ++changes; });
    fresh.MoveHandle(2, 1, 1);
    fresh.SelectedSegment = 5;
    fresh.MoveSelected(1, 1, false);
    EXPECT_EQ(fresh.GetSegment(0).C1(), Point(9, 9));
    EXPECT_EQ(changes, 0);
}

TEST(PolyBezier, PaintsCurveHandlesOrBand) {
    TBitmap32 bitmap(120, 100);
    // Band width 1: black handle squares at start and end, the curve in the shape's colour.
    auto plain = StraightCubic();
    bitmap.Clear(Grey);
    plain->Paint(Point(0, 0), bitmap);
    EXPECT_EQ(plain->Target, &bitmap);
    EXPECT_EQ(bitmap.Pixel(18, 48), 0xFF000000u);
    EXPECT_EQ(bitmap.Pixel(82, 52), 0xFF000000u);
    EXPECT_EQ(bitmap.Pixel(50, 50), Red);
    EXPECT_EQ(bitmap.Pixel(37, 47), Grey); // no handle picture at C1

    // With handles shown: pictures at the controls, drawn centred on them.
    auto handles = StraightCubic();
    handles->ShowHandles(true);
    bitmap.Clear(Grey);
    handles->Paint(Point(10, 20), bitmap);
    const TBitmap32& picture = *handles->HandleBitmap;
    const int px = 50 - picture.Width() / 2, py = 70 - picture.Height() / 2;
    EXPECT_EQ(bitmap.Pixel(px + 1, py), picture.Pixel(1, 0));
    EXPECT_EQ(bitmap.Pixel(px + 3, py + 1), picture.Pixel(3, 1));
    EXPECT_NE(bitmap.Pixel(28, 68), 0xFF000000u); // the start shows the picture, not the square

    // Below 1: only the curve.
    auto thin = StraightCubic();
    thin->SetBandWidth(0.5f);
    bitmap.Clear(Grey);
    thin->Paint(Point(0, 0), bitmap);
    EXPECT_EQ(bitmap.Pixel(18, 48), Grey);
    EXPECT_EQ(bitmap.Pixel(50, 50), Red);

    // Above 1: two stippled white-black edges and round caps; no centre line, no handles.
    auto band = StraightCubic();
    band->SetBandWidth(10.0f);
    bitmap.Clear(Grey);
    band->Paint(Point(0, 0), bitmap);
    EXPECT_EQ(bitmap.Pixel(50, 50), Grey);
    EXPECT_EQ(bitmap.Pixel(18, 48), Grey);
    for (const TPoint& p : {Point(50, 40), Point(50, 60), Point(10, 50), Point(90, 50)}) {
        const TColor32 c = bitmap.Pixel(p.X, p.Y);
        EXPECT_NE(c, Grey) << p.X << "," << p.Y;
        EXPECT_EQ(c & 0xFF, (c >> 8) & 0xFF) << "white, black or a blend of them";
    }
}

TEST(PolyBezier, BandEdgesRoundOnEachSideAsTheirOwnRuleSays) {
    // Half width 2.5 on a horizontal arm at y = 51: the first side rounds after adding
    // (53.5 -> 54, halves to even), the second rounds the offset first (-2.5 -> -2, so 49).
    TPolyBezier band(Point(20, 51));
    band.AddBezier(Point(40, 51), Point(60, 51), Point(80, 51));
    band.SetBandWidth(2.5f);
    TBitmap32 bitmap(100, 100);
    bitmap.Clear(Grey);
    band.Paint(Point(0, 0), bitmap);
    std::string rows;
    for (int y = 45; y < 58; ++y)
        if (bitmap.Pixel(50, y) != Grey) rows += std::to_string(y) + " ";
    EXPECT_EQ(rows, "49 54 ");
}

TEST(PolyBezier, HandlePictureComesFromTheInstalledList) {
    TBitmap32 own(3, 3);
    SetPolyBezierHandleBitmap(&own);
    TPolyBezier shape(Point(0, 0));
    EXPECT_EQ(shape.HandleBitmap, &own);
    SetPolyBezierHandleBitmap(nullptr);
    TPolyBezier later(Point(0, 0));
    EXPECT_NE(later.HandleBitmap, &own);
    EXPECT_FALSE(later.HandleBitmap->Empty());
}
