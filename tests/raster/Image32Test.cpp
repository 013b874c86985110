// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/raster/Image32.h"
#include "platform/rtl/Exception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TPositionedLayer* ViewportLayer(TCustomImage32& View) {
    auto* layer = View.Layers().Add<TPositionedLayer>();
    const TRect r = View.GetViewportRect();
    layer->SetLocation(FloatRect(0, 0, static_cast<float>(r.Right), static_cast<float>(r.Bottom)));
    layer->SetScaled(true);
    return layer;
}

} // namespace

TEST(ImgView32, PlacesABitmapThatFitsInTheMiddleAndScrollsOneThatDoesNot) {
    TImgView32 view;
    view.SetViewportSize(210, 210);
    // Without a bitmap the origin is the viewport's centre; a layer over the viewport in bitmap
    // pixels therefore starts there.
    EXPECT_EQ(view.OffsetHorz(), 105.0f);
    EXPECT_EQ(view.OffsetVert(), 105.0f);
    TPositionedLayer* layer = ViewportLayer(view);
    EXPECT_EQ(layer->GetAdjustedLocation(), FloatRect(105, 105, 315, 315));
    EXPECT_EQ(view.ControlToBitmap(Point(100, 110)), Point(-5, 5));

    view.Bitmap.SetSize(101, 50);
    view.Changed();
    EXPECT_EQ(view.OffsetHorz(), 54.0f); // (210 - 101) / 2 rounded down
    EXPECT_EQ(view.OffsetVert(), 80.0f);
    EXPECT_EQ(view.GetBitmapRect(), Rect(54, 80, 155, 130));
    EXPECT_EQ(view.BitmapToControl(Point(0, 0)), Point(54, 80));

    view.Bitmap.SetSize(1000, 500);
    view.Changed();
    EXPECT_EQ(view.HorzScrollRange(), 790);
    EXPECT_EQ(view.VertScrollRange(), 290);
    view.SetScroll(2000, -5);
    EXPECT_EQ(view.ScrollX(), 790);
    EXPECT_EQ(view.ScrollY(), 0);
    EXPECT_EQ(view.ControlToBitmap(Point(10, 20)), Point(800, 20));
    EXPECT_EQ(layer->GetAdjustedLocation().Left, -790.0f);

    // Scale 2: a bitmap pixel covers two client pixels; points between round down.
    view.SetScroll(0, 0);
    view.SetScale(2.0f);
    EXPECT_EQ(view.HorzScrollRange(), 1790);
    EXPECT_EQ(view.ControlToBitmap(Point(5, 3)), Point(2, 1));
    EXPECT_EQ(view.BitmapToControl(Point(2, 1)), Point(4, 2));
    EXPECT_EQ(layer->GetAdjustedLocation(), FloatRect(0, 0, 420, 420));
    layer->SetScaled(false);
    EXPECT_EQ(layer->GetAdjustedLocation(), FloatRect(0, 0, 210, 210));

    // Scales that are not positive numbers are refused.
    view.SetScale(0.0f);
    view.SetScale(-1.0f);
    EXPECT_EQ(view.Scale(), 2.0f);
}

TEST(ImgView32, ScaleModes) {
    TImgView32 view;
    view.SetViewportSize(200, 100);
    view.Bitmap.SetSize(400, 400);
    view.SetScale(3.0f);
    view.SetScaleMode(smNormal);
    EXPECT_EQ(view.ScaleX(), 1.0f);
    view.SetScaleMode(smScale);
    EXPECT_EQ(view.ScaleX(), 3.0f);
    view.SetScaleMode(smStretch);
    EXPECT_EQ(view.ScaleX(), 0.5f);
    EXPECT_EQ(view.ScaleY(), 0.25f);
    EXPECT_EQ(view.HorzScrollRange(), 0);
    view.SetScaleMode(smOptimal);
    EXPECT_EQ(view.ScaleX(), 0.25f);
    EXPECT_EQ(view.ScaleY(), 0.25f);
    EXPECT_EQ(view.OffsetHorz(), 50.0f);
    view.Bitmap.SetSize(20, 10);
    EXPECT_EQ(view.ScaleX(), 1.0f); // fits: not enlarged
    view.SetScaleMode(smOptimalScaled);
    EXPECT_EQ(view.ScaleX(), 3.0f);
    view.SetScale(20.0f);
    EXPECT_EQ(view.ScaleX(), 10.0f);
}

TEST(ImgView32, TwoViewsFollowingEachOthersScrollingSettle) {
    // The drawing's two views share a panel, the source getting the odd pixel; each scroll
    // centres the other view on its own centre, as the main window couples them.
    TImgView32 source, dest;
    source.SetViewportSize(301, 200);
    dest.SetViewportSize(300, 200);
    source.Bitmap.SetSize(1000, 800);
    dest.Bitmap.SetSize(1000, 800);
    int events = 0;
    auto couple = [&events](TImgView32& From, TImgView32& To) {
        ++events;
        ASSERT_LT(events, 100);
        const TPoint a = From.ControlToBitmap(Point(0, 0));
        const TPoint b = From.ControlToBitmap(Point(From.ViewportWidth(), From.ViewportHeight()));
        To.ScrollToCenter((a.X + b.X) / 2, (a.Y + b.Y) / 2);
    };
    source.OnScroll = [&](void*) { couple(source, dest); };
    dest.OnScroll = [&](void*) { couple(dest, source); };
    for (int x : {0, 17, 333, 698, 699, 700, 5}) {
        source.SetScroll(x, x / 2);
        EXPECT_EQ(dest.ScrollX(), std::min(x, 699));
        EXPECT_EQ(dest.ScrollY(), x / 2);
        EXPECT_EQ(source.ScrollX(), std::min(x, 699));
        dest.SetScroll(x + 1, x);
        EXPECT_EQ(source.ScrollX(), std::min(x + 1, 699));
    }
    // Centring clamps at both ends.
    dest.OnScroll = nullptr;
    dest.ScrollToCenter(0, 0);
    EXPECT_EQ(dest.ScrollX(), 0);
    dest.ScrollToCenter(1000, 800);
    EXPECT_EQ(dest.ScrollX(), 700);
    EXPECT_EQ(dest.ScrollY(), 600);
}

TEST(ImgView32, ThePositionFollowsEveryChangeAndIsToldOnce) {
    TImgView32 view;
    int told = 0, scrolled = 0;
    view.OnScrollStateChange = [&] { ++told; };
    view.OnScroll = [&](void*) { ++scrolled; };
    view.SetViewportSize(300, 200);
    view.Bitmap.SetSize(1000, 800);
    view.Changed();
    view.SetScroll(650, 500);
    EXPECT_EQ(scrolled, 1);
    told = 0;
    // A wider viewport narrows the range: the position follows, and both are told.
    view.SetViewportSize(500, 200);
    EXPECT_EQ(view.ScrollX(), 500);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(scrolled, 2);
    // It stays there when the range grows again (no hidden old position comes back).
    view.SetViewportSize(300, 200);
    EXPECT_EQ(view.ScrollX(), 500);
    EXPECT_EQ(scrolled, 2);
    // Nothing changed, nothing told.
    told = 0;
    view.Changed();
    view.SetScroll(500, 500);
    EXPECT_EQ(told, 0);
    // A picture of the same size keeps the position; one of another size starts at the top-left.
    view.Bitmap.SetSize(1000, 800);
    view.Changed();
    EXPECT_EQ(view.ScrollX(), 500);
    view.Bitmap.SetSize(1100, 700);
    view.Changed();
    EXPECT_EQ(view.ScrollX(), 0);
    EXPECT_EQ(view.ScrollY(), 0);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(scrolled, 3);
}

TEST(ImgView32, PaintsBackgroundBitmapAndLayersInOrder) {
    TImgView32 view;
    view.Color = 0xFFFFFFFF;
    view.SetViewportSize(8, 6);
    view.Bitmap.SetSize(4, 2);
    view.Bitmap.Clear(0xFF000000);
    // The photo at half opacity over the background.
    view.Bitmap.MasterAlpha = 128;
    view.Bitmap.DrawMode = dmBlend;
    std::string order;
    auto* lower = view.Layers().Add<TPositionedLayer>();
    lower->OnPaint = [&](TCustomLayer* Sender, TBitmap32& Buffer) {
        EXPECT_EQ(Sender, lower);
        EXPECT_EQ(&Buffer, &view.Buffer);
        order += "L";
        Buffer.SetPixel(0, 0, 0xFF00FF00);
    };
    auto* upper = view.Layers().Add<TCustomLayer>();
    upper->OnPaint = [&](TCustomLayer*, TBitmap32& Buffer) {
        order += "U";
        Buffer.SetPixel(0, 0, 0xFFFF0000);
    };
    auto* hidden = view.Layers().Add<TCustomLayer>();
    hidden->OnPaint = [&](TCustomLayer*, TBitmap32&) { order += "H"; };
    hidden->SetVisible(false);

    view.UpdateBuffer();
    EXPECT_EQ(order, "LU");
    ASSERT_EQ(view.Buffer.Width(), 8);
    ASSERT_EQ(view.Buffer.Height(), 6);
    EXPECT_EQ(view.Buffer.Pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(view.Buffer.Pixel(1, 1), 0xFFFFFFFFu); // outside the bitmap at (2, 2)..(6, 4)
    const TColor32 faded = view.Buffer.Pixel(2, 2);
    EXPECT_EQ(faded, view.Buffer.Pixel(5, 3));
    EXPECT_NEAR(static_cast<int>(faded & 0xFF), 127, 1);

    // A valid buffer is not painted again; a change of a layer or of the view makes it stale.
    view.UpdateBuffer();
    EXPECT_EQ(order, "LU");
    hidden->SetVisible(true);
    view.UpdateBuffer();
    EXPECT_EQ(order, "LULUH");
    view.SetViewportSize(9, 6);
    EXPECT_FALSE(view.BufferValid());
}

TEST(ImgView32, StretchedBitmapIsDrawnAtItsScale) {
    TImgView32 view;
    view.SetViewportSize(40, 40);
    view.SetScale(4.0f);
    view.Bitmap.SetSize(20, 20);
    view.Bitmap.Clear(0xFF0000FF);
    view.Bitmap.SetPixel(3, 2, 0xFFFF0000);
    view.SetScroll(8, 4);
    view.UpdateBuffer();
    // Bitmap pixel (3, 2) covers client pixels (12 - 8 .. 16 - 8, 8 - 4 .. 12 - 4).
    for (int y = 4; y < 8; ++y)
        for (int x = 4; x < 8; ++x)
            EXPECT_EQ(view.Buffer.Pixel(x, y), 0xFFFF0000u) << x << "," << y;
    EXPECT_EQ(view.Buffer.Pixel(3, 4), 0xFF0000FFu);
    EXPECT_EQ(view.Buffer.Pixel(39, 39), 0xFF0000FFu);
}

TEST(ImgView32, RepaintRequestsReachTheDisplay) {
    TImgView32 view;
    view.SetViewportSize(4, 4);
    std::vector<bool> requests;
    view.OnRepaintRequest = [&](bool Immediate) { requests.push_back(Immediate); };
    view.Invalidate();
    view.Repaint();
    EXPECT_EQ(requests, (std::vector<bool>{false, true}));
    // A layer that repaints the view while it paints gets a later paint, not a nested one, and
    // leaves the buffer stale for it.
    requests.clear();
    int paints = 0;
    view.Layers().Add<TCustomLayer>()->OnPaint = [&](TCustomLayer*, TBitmap32&) {
        ++paints;
        view.Repaint();
        view.UpdateBuffer();
    };
    requests.clear();
    view.UpdateBuffer();
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(requests, (std::vector<bool>{false}));
    EXPECT_FALSE(view.BufferValid());
}

TEST(LayerCollection, MouseGoesToTheTopmostLayerThatClaimsItAndStaysUntilRelease) {
    TImgView32 view;
    view.SetViewportSize(100, 100);
    view.Bitmap.SetSize(100, 100);
    auto* bottom = ViewportLayer(view);
    bottom->SetMouseEvents(true);
    auto* middle = ViewportLayer(view); // no mouse events: passed through
    auto* top = view.Layers().Add<TPositionedLayer>();
    top->SetLocation(FloatRect(10, 10, 20, 20));
    top->SetMouseEvents(true);
    int topTests = 0;
    top->OnHitTest = [&](TCustomLayer* Sender, int X, int Y, bool& Passed) {
        EXPECT_EQ(Sender, top);
        ++topTests;
        // The default answer comes in: inside the location.
        EXPECT_EQ(Passed, X >= 10 && X < 20 && Y >= 10 && Y < 20);
    };
    EXPECT_EQ(middle->Index(), 1);

    std::string log;
    auto name = [&](TCustomLayer* L) {
        return L == top ? "T" : L == bottom ? "B" : L == nullptr ? "-" : "?";
    };
    view.OnMouseDown = [&](TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                           TCustomLayer* L) {
        EXPECT_EQ(Sender, &view);
        EXPECT_EQ(Button, mbLeft);
        EXPECT_EQ(Shift, ssLeft | ssShift);
        log += std::string("D") + name(L) + std::to_string(X) + ",";
        (void)Y;
    };
    view.OnMouseMove = [&](TCustomImage32*, TShiftState, int X, int, TCustomLayer* L) {
        log += std::string("M") + name(L) + std::to_string(X) + ",";
    };
    view.OnMouseUp = [&](TCustomImage32*, TMouseButton, TShiftState, int X, int, TCustomLayer* L) {
        log += std::string("U") + name(L) + std::to_string(X) + ",";
    };

    view.MouseMove(0, 15, 15);
    view.MouseDown(mbLeft, ssLeft | ssShift, 12, 12);
    const int testsAtPress = topTests;
    view.MouseMove(ssLeft, 50, 50); // held by the top layer: no hit test
    view.MouseUp(mbLeft, 0, 60, 60);
    EXPECT_EQ(topTests, testsAtPress);
    view.MouseMove(0, 50, 50);
    EXPECT_EQ(log, "MT15,DT12,MT50,UT60,MB50,");

    // A hidden layer, or one whose mouse events are off, is passed through; with none left the
    // events carry no layer.
    top->SetVisible(false);
    EXPECT_EQ(view.Layers().FindLayerAt(15, 15), bottom);
    bottom->SetMouseEvents(false);
    EXPECT_EQ(view.Layers().FindLayerAt(15, 15), nullptr);
    log.clear();
    view.MouseDown(mbLeft, ssLeft | ssShift, 15, 15);
    EXPECT_EQ(log, "D-15,");
    EXPECT_EQ(view.Layers().MouseListener(), nullptr);
}

TEST(LayerCollection, LayersMoveBetweenViewsAndTellWhenTheyAreFreed) {
    TImgView32 a, b;
    a.SetViewportSize(50, 50);
    b.SetViewportSize(80, 80);
    b.Bitmap.SetSize(40, 40);
    auto* layer = ViewportLayer(a);
    layer->SetMouseEvents(true);
    auto* other = a.Layers().Add<TCustomLayer>();
    other->SetMouseEvents(true);
    a.MouseDown(mbLeft, ssLeft, 1, 1);
    EXPECT_EQ(a.Layers().MouseListener(), other);

    // Moving a layer puts it on top of the other view's layers, keeps its location and maps it
    // through that view.
    b.Layers().Add<TCustomLayer>();
    other->SetLayerCollection(&b.Layers());
    EXPECT_EQ(a.Layers().MouseListener(), nullptr);
    EXPECT_EQ(a.Layers().Count(), 1);
    EXPECT_EQ(other->LayerCollection(), &b.Layers());
    EXPECT_EQ(other->Index(), 1);
    layer->SetLayerCollection(&b.Layers());
    EXPECT_EQ(layer->Index(), 2);
    EXPECT_EQ(layer->GetAdjustedLocation(), FloatRect(20, 20, 70, 70));

    std::vector<void*> freed;
    layer->OnDestroy = [&](void* Sender) { freed.push_back(Sender); };
    other->OnDestroy = [&](void* Sender) { freed.push_back(Sender); };
    b.Layers().Delete(1);
    EXPECT_EQ(freed, (std::vector<void*>{other}));
    EXPECT_EQ(layer->Index(), 1);
    b.Layers().Clear();
    EXPECT_EQ(freed.size(), 2u);
    EXPECT_EQ(freed[1], static_cast<void*>(layer));

    try {
        b.Layers().Items(0);
        FAIL();
    } catch (const Exception& E) {
        EXPECT_STREQ(E.what(), "TLayerCollection.Items: Index out of bounds(0)");
    }
}

TEST(ImgView32, WheelAndKeysGoToTheirEvents) {
    TImgView32 view;
    std::string log;
    view.OnMouseWheelDown = [&](TCustomImage32*, TShiftState, const TPoint& P, bool&) {
        log += "down" + std::to_string(P.X) + ",";
    };
    view.OnMouseWheelUp = [&](TCustomImage32*, TShiftState, const TPoint&, bool& Handled) {
        log += "up,";
        Handled = true;
    };
    EXPECT_FALSE(view.MouseWheel(0, -120, Point(7, 8)));
    EXPECT_TRUE(view.MouseWheel(0, 120, Point(7, 8)));
    EXPECT_FALSE(view.MouseWheel(0, 0, Point(7, 8)));
    EXPECT_EQ(log, "down7,up,");

    view.OnKeyDown = [&](TCustomImage32*, uint16_t& Key, TShiftState Shift) {
        EXPECT_EQ(Shift, ssShift);
        Key = 0;
    };
    uint16_t key = VK_SHIFT;
    view.KeyDown(key, ssShift);
    EXPECT_EQ(key, 0);
    key = VK_SHIFT;
    view.KeyUp(key, 0); // no handler: nothing
    EXPECT_EQ(key, VK_SHIFT);

    std::vector<TCursor> cursors;
    view.OnCursorChange = [&](TCursor C) { cursors.push_back(C); };
    view.SetCursor(crCross);
    view.SetCursor(crCross);
    view.SetCursor(crDefault);
    EXPECT_EQ(cursors, (std::vector<TCursor>{crCross, crDefault}));
}
