// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/PolyBezierLayer.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Exception.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr TColor32 Red = 0xFFFF0000;
constexpr TColor32 Olive = 0xFF808000;

std::unique_ptr<TPolyBezier> Curve(TPoint From, TPoint To) {
    auto shape = std::make_unique<TPolyBezier>(From);
    shape->AddBezier(MidPoint(From, To), MidPoint(From, To), To);
    return shape;
}

// A 200 x 100 view showing a 100 x 50 bitmap, which is centred at (50, 25).
struct TViewFixture {
    TViewFixture() {
        View.SetViewportSize(200, 100);
        View.Bitmap.SetSize(100, 50);
        View.Bitmap.Clear(0xFFFFFFFF);
    }
    TImgView32 View;
};

} // namespace

TEST(PolyBezierLayer, SitsOnTheViewOverTheViewportFromTheBitmapsCorner) {
    TViewFixture f;
    TPolyBezierLayer curves(&f.View);
    ASSERT_EQ(f.View.Layers().Count(), 1);
    EXPECT_TRUE(curves.IsLayer(f.View.Layers().Items(0)));
    EXPECT_FALSE(curves.IsLayer(nullptr));
    EXPECT_EQ(curves.Layer->Location(), FloatRect(0, 0, 200, 100));
    EXPECT_TRUE(curves.Layer->Scaled());
    EXPECT_TRUE(curves.Layer->MouseEvents());
    EXPECT_EQ(curves.Layer->GetAdjustedLocation(), FloatRect(50, 25, 250, 125));
    EXPECT_EQ(curves.CurrentIndex, -1);
    EXPECT_EQ(curves.Current(), nullptr);
    try {
        curves.GetPolyBeziers(0);
        FAIL();
    } catch (const Exception& E) {
        EXPECT_STREQ(E.what(), "TPolyBezierLayer.GetPolyBeziers: Index out of bounds(0)");
    }
}

TEST(PolyBezierLayer, AddingMakesTheShapeCurrentAndNotifiesOnce) {
    TViewFixture f;
    TPolyBezierLayer curves(&f.View);
    std::vector<void*> changes;
    curves.SetOnChange([&](void* Sender) { changes.push_back(Sender); });
    curves.SetSelected(true);
    TPolyBezier* first = curves.Add(Curve(Point(10, 10), Point(40, 10)));
    // The shape's own notification of its selection reaches nobody; the layer's comes once.
    EXPECT_EQ(changes, (std::vector<void*>{&curves}));
    EXPECT_TRUE(first->Selected);
    EXPECT_EQ(curves.Current(), first);
    TPolyBezier* second = curves.Add(Curve(Point(10, 30), Point(40, 30)));
    EXPECT_EQ(curves.CurrentIndex, 1);
    EXPECT_EQ(curves.GetPolyBeziers(0), first);
    // Later edits of any shape reach the owner through the layer.
    changes.clear();
    first->MoveHandle(4, 45, 10);
    curves.SetSelected(false);
    EXPECT_EQ(changes.size(), 3u);
    EXPECT_FALSE(second->Selected);
}

TEST(PolyBezierLayer, HitTestsPickTheFirstShapeAndCaptureClaimsEverything) {
    TViewFixture f;
    TPolyBezierLayer curves(&f.View);
    // Two shapes whose ends meet at bitmap (40, 10), client (90, 35).
    TPolyBezier* first = curves.Add(Curve(Point(10, 10), Point(40, 10)));
    curves.Add(Curve(Point(40, 10), Point(70, 10)));
    EXPECT_EQ(curves.CurrentIndex, 1);

    std::vector<TCustomLayer*> pressed;
    f.View.OnMouseDown = [&](TCustomImage32*, TMouseButton, TShiftState, int, int, TCustomLayer* L) {
        pressed.push_back(L);
    };
    f.View.MouseDown(mbLeft, ssLeft, 90, 35);
    EXPECT_EQ(curves.ViewOffset, Point(50, 25));
    EXPECT_EQ(curves.CurrentIndex, 0);
    EXPECT_EQ(first->SelectedHandle, 4);
    ASSERT_EQ(pressed.size(), 1u);
    EXPECT_TRUE(curves.IsLayer(pressed[0]));
    f.View.MouseUp(mbLeft, 0, 90, 35);

    // A miss leaves the current shape; the mouse then passes to the view.
    f.View.MouseDown(mbLeft, ssLeft, 150, 90);
    EXPECT_EQ(curves.CurrentIndex, 0);
    EXPECT_EQ(pressed.back(), nullptr);
    f.View.MouseUp(mbLeft, 0, 150, 90);

    curves.BeginCapture();
    f.View.MouseDown(mbLeft, ssLeft, 199, 99);
    EXPECT_TRUE(curves.IsLayer(pressed.back()));
    f.View.MouseUp(mbLeft, 0, 199, 99);
    curves.EndCapture();

    // Without mouse events the shapes stay painted while the mouse passes through.
    curves.DisableMouseEvents();
    f.View.MouseDown(mbLeft, ssLeft, 90, 35);
    EXPECT_EQ(pressed.back(), nullptr);
    f.View.MouseUp(mbLeft, 0, 90, 35);
    f.View.UpdateBuffer();
    EXPECT_EQ(curves.Buffer, &f.View.Buffer);
    EXPECT_NE(f.View.Buffer.Pixel(75, 35), 0xFFFFFFFFu);
    curves.EnableMouseEvents();
    EXPECT_TRUE(curves.Layer->MouseEvents());
}

TEST(PolyBezierLayer, PaintsTheCurrentShapeRedWithHandlesAndTheOthersOlive) {
    TViewFixture f;
    TPolyBezierLayer curves(&f.View);
    curves.SetSelected(true);
    TPolyBezier* first = curves.Add(Curve(Point(10, 10), Point(40, 10)));
    TPolyBezier* second = curves.Add(Curve(Point(10, 30), Point(40, 30)));
    int changes = 0;
    curves.SetOnChange([&](void*) { ++changes; });

    f.View.UpdateBuffer();
    EXPECT_EQ(first->Color, Olive);
    EXPECT_EQ(second->Color, Red);
    EXPECT_FALSE(first->HandlesVisible);
    EXPECT_TRUE(second->HandlesVisible);
    EXPECT_EQ(changes, 2); // both colours changed from none
    EXPECT_EQ(f.View.Buffer.Stipple(), (std::vector<TColor32>{0x7F0000FF, 0, 0, 0}));
    // The current shape's start shows the handle picture; the other's a black square.
    const TBitmap32& picture = *second->HandleBitmap;
    const int w = picture.Width() / 2, h = picture.Height() / 2;
    EXPECT_EQ(f.View.Buffer.Pixel(60 - w + 1, 55 - h), picture.Pixel(1, 0));
    EXPECT_EQ(f.View.Buffer.Pixel(58, 33), 0xFF000000u);

    // Painting again changes nothing; after the current shape changes, the two whose colours
    // changed notify once each.
    f.View.Invalidate();
    f.View.UpdateBuffer();
    EXPECT_EQ(changes, 2);
    f.View.MouseDown(mbLeft, ssLeft, 60, 35);
    f.View.MouseUp(mbLeft, 0, 60, 35);
    EXPECT_EQ(curves.Current(), first);
    f.View.Invalidate();
    f.View.UpdateBuffer();
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(first->Color, Red);
}

TEST(PolyBezierLayer, ClearMovingAndFreeing) {
    TViewFixture f;
    auto curves = std::make_unique<TPolyBezierLayer>(&f.View);
    curves->Add(Curve(Point(10, 10), Point(40, 10)));
    std::vector<bool> requests;
    f.View.OnRepaintRequest = [&](bool Immediate) { requests.push_back(Immediate); };
    curves->Clear();
    EXPECT_EQ(curves->Count(), 0);
    EXPECT_EQ(curves->CurrentIndex, 0); // names no shape now
    EXPECT_EQ(curves->Current(), nullptr);
    EXPECT_EQ(requests, (std::vector<bool>{true}));
    f.View.OnRepaintRequest = nullptr;

    // The layer follows the active view; its location stays.
    TImgView32 other;
    other.SetViewportSize(300, 300);
    other.Layers().Add<TPositionedLayer>();
    curves->SetImage(&other);
    EXPECT_EQ(curves->Image, &other);
    EXPECT_EQ(f.View.Layers().Count(), 0);
    EXPECT_EQ(curves->Layer->Index(), 1);
    EXPECT_EQ(curves->Layer->Location(), FloatRect(0, 0, 200, 100));
    EXPECT_EQ(curves->Layer->GetAdjustedLocation().Left, 150.0f);

    // Freeing the curve layer takes its positioned layer off the view, which calls nothing of it.
    curves.reset();
    EXPECT_EQ(other.Layers().Count(), 1);
    other.UpdateBuffer();

    // A view that cleared its layers first leaves the curve layer nothing to take off.
    auto again = std::make_unique<TPolyBezierLayer>(&other);
    again->Add(Curve(Point(1, 1), Point(9, 9)));
    other.Layers().Clear();
    EXPECT_EQ(again->Layer, nullptr);
    again->DisableMouseEvents();
    again->SetImage(&f.View);
    again.reset();
    EXPECT_EQ(f.View.Layers().Count(), 0);
}
