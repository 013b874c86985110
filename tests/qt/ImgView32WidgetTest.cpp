// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ImgView32Widget.h"
#include "platform/qt/GaugeBar.h"
#include "platform/qt/InputEvents.h"
#include "platform/rtl/Exception.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<TImgView32Widget> ShownView(int Width, int Height, int BitmapWidth, int BitmapHeight) {
    auto widget = std::make_unique<TImgView32Widget>();
    widget->resize(Width, Height);
    TImgView32& view = widget->View();
    view.Color = 0xFF0000FF;
    view.Bitmap.SetSize(BitmapWidth, BitmapHeight);
    view.Bitmap.Clear(0xFFFF0000);
    view.Changed();
    widget->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
    return widget;
}

QRgb ShownPixel(QWidget* Viewport, int X, int Y) {
    return Viewport->grab().toImage().pixel(X, Y);
}

void Wheel(QWidget* Target, int Delta) {
    const QPointF at(10, 10);
    QWheelEvent event(at, Target->mapToGlobal(at), QPoint(), QPoint(0, Delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(Target, &event);
}

// The scroll bars stand where the model's scroll position is, and span its ranges.
void ExpectBarsShowModel(TImgView32Widget* Widget, const char* When) {
    TImgView32& view = Widget->View();
    EXPECT_EQ(view.ViewportWidth(), Widget->viewport()->width()) << When;
    EXPECT_EQ(view.ViewportHeight(), Widget->viewport()->height()) << When;
    EXPECT_EQ(Widget->horizontalScrollBar()->maximum(), view.HorzScrollRange()) << When;
    EXPECT_EQ(Widget->verticalScrollBar()->maximum(), view.VertScrollRange()) << When;
    EXPECT_EQ(Widget->horizontalScrollBar()->value(), view.ScrollX()) << When;
    EXPECT_EQ(Widget->verticalScrollBar()->value(), view.ScrollY()) << When;
}

} // namespace

TEST(ImgView32Widget, ShowsTheModelsBufferAndScrollsWithIt) {
    auto widget = ShownView(200, 100, 100, 50);
    TImgView32& view = widget->View();
    QWidget* port = widget->viewport();
    EXPECT_EQ(view.ViewportWidth(), 200);
    EXPECT_EQ(view.ViewportHeight(), 100);
    EXPECT_FALSE(widget->horizontalScrollBar()->isVisible());
    EXPECT_EQ(ShownPixel(port, 100, 50), qRgb(255, 0, 0));
    EXPECT_EQ(ShownPixel(port, 5, 5), qRgb(0, 0, 255));

    // A larger bitmap brings the scroll bars, whose ranges follow the narrowed viewport.
    view.Bitmap.SetSize(1000, 800);
    view.Bitmap.Clear(0xFFFF0000);
    view.Bitmap.FillRect(0, 0, 10, 800, 0xFF00FF00);
    view.Changed();
    QApplication::processEvents();
    QScrollBar* h = widget->horizontalScrollBar();
    ASSERT_TRUE(h->isVisible());
    EXPECT_EQ(view.ViewportWidth(), port->width());
    EXPECT_LT(view.ViewportWidth(), 200);
    EXPECT_EQ(h->maximum(), view.HorzScrollRange());
    EXPECT_EQ(widget->verticalScrollBar()->maximum(), 800 - port->height());
    EXPECT_EQ(ShownPixel(port, 5, 5), qRgb(0, 255, 0));

    // The scroll bar moves the model, which tells its listeners; the model moves the scroll bar.
    int scrolls = 0;
    view.OnScroll = [&](void* Sender) {
        EXPECT_EQ(Sender, &view);
        ++scrolls;
    };
    h->setValue(40);
    EXPECT_EQ(view.ScrollX(), 40);
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(view.ControlToBitmap(Point(0, 0)), Point(40, 0));
    EXPECT_EQ(ShownPixel(port, 5, 5), qRgb(255, 0, 0));
    view.ScrollToCenter(500, 400);
    EXPECT_EQ(h->value(), view.ScrollX());
    EXPECT_EQ(h->value(), 500 - view.ViewportWidth() / 2);
    EXPECT_EQ(scrolls, 2);
}

TEST(ImgView32Widget, TwoCoupledViewsKeepTheirBarsOnTheModelThroughAReload) {
    // Two views side by side that follow each other's scrolling, as the drawing window has them.
    QWidget window;
    window.resize(900, 500);
    auto* panel = new QWidget(&window);
    (new QHBoxLayout(&window))->addWidget(panel);
    auto* splitter = new QSplitter(panel);
    (new QHBoxLayout(panel))->addWidget(splitter);
    TImgView32Widget* views[2] = {new TImgView32Widget(splitter), new TImgView32Widget(splitter)};
    bool following = false;
    for (int i = 0; i < 2; ++i)
        views[i]->View().OnScroll = [&, i](void*) {
            if (following) return;
            TImgView32& view = views[i]->View();
            const TPoint a = view.ControlToBitmap(Point(0, 0));
            const TPoint b = view.ControlToBitmap(Point(view.ViewportWidth(), view.ViewportHeight()));
            following = true;
            views[1 - i]->View().ScrollToCenter((a.X + b.X) / 2, (a.Y + b.Y) / 2);
            following = false;
        };
    const auto load = [&](int Width, int Height) {
        for (TImgView32Widget* w : views) {
            w->View().Bitmap.SetSize(Width, Height);
            w->View().Changed();
        }
    };
    const auto check = [&](const char* When) {
        QApplication::processEvents();
        for (TImgView32Widget* w : views)
            ExpectBarsShowModel(w, When);
    };
    load(1000, 900);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    check("shown");
    views[0]->horizontalScrollBar()->setValue(views[0]->horizontalScrollBar()->maximum());
    views[0]->verticalScrollBar()->setValue(views[0]->verticalScrollBar()->maximum());
    check("scrolled to the corner");
    EXPECT_GT(views[1]->View().ScrollY(), 0);

    // The next picture: the views are hidden, the source is emptied, both get the new size while
    // hidden, and come back in a window of another size.
    panel->hide();
    views[0]->View().Bitmap.SetSize(0, 0);
    views[0]->View().Changed();
    load(1100, 700);
    panel->show();
    window.resize(700, 600);
    check("reloaded");
    Wheel(views[1]->viewport(), -120);
    check("wheel over the drawing");
    views[0]->View().ScrollToCenter(0, 0);
    check("back to the top-left");
    EXPECT_EQ(views[1]->View().ScrollX(), 0);
}

TEST(ImgView32Widget, MouseEventsReachTheModelAndItsLayers) {
    auto widget = ShownView(200, 100, 100, 50);
    TImgView32& view = widget->View();
    QWidget* port = widget->viewport();
    auto* layer = view.Layers().Add<TPositionedLayer>();
    layer->SetLocation(FloatRect(0, 0, 10, 10));
    layer->SetScaled(true); // bitmap pixels: client (50, 25)..(60, 35)
    layer->SetMouseEvents(true);
    // The pointer may rest where an earlier test left it, and a move to where it rests is no
    // move: it starts elsewhere.
    QTest::mouseMove(port, QPoint(1, 1));

    std::vector<std::string> log;
    auto name = [&](TCustomLayer* L) { return std::string(L == layer ? "L" : "-"); };
    view.OnMouseDown = [&](TCustomImage32* Sender, TMouseButton B, TShiftState S, int X, int Y,
                           TCustomLayer* L) {
        EXPECT_EQ(Sender, &view);
        log.push_back("D" + std::to_string(B) + "/" + std::to_string(S) + " " + std::to_string(X) + "," +
                      std::to_string(Y) + name(L));
    };
    view.OnMouseMove = [&](TCustomImage32*, TShiftState S, int X, int Y, TCustomLayer* L) {
        log.push_back("M" + std::to_string(S) + " " + std::to_string(X) + "," + std::to_string(Y) + name(L));
    };
    view.OnMouseUp = [&](TCustomImage32*, TMouseButton B, TShiftState S, int X, int Y, TCustomLayer* L) {
        log.push_back("U" + std::to_string(B) + "/" + std::to_string(S) + " " + std::to_string(X) + "," +
                      std::to_string(Y) + name(L));
    };

    QTest::mouseMove(port, QPoint(150, 80)); // hovering reaches the model too
    QTest::mousePress(port, Qt::LeftButton, Qt::ShiftModifier, QPoint(55, 30));
    QTest::mouseMove(port, QPoint(150, 80));
    QTest::mouseRelease(port, Qt::LeftButton, Qt::NoModifier, QPoint(150, 80));
    QTest::mousePress(port, Qt::RightButton, Qt::NoModifier, QPoint(150, 80));
    QTest::mouseRelease(port, Qt::RightButton, Qt::NoModifier, QPoint(150, 80));
    const std::string left = std::to_string(ssLeft), shiftLeft = std::to_string(ssShift | ssLeft),
                      right = std::to_string(ssRight);
    const std::vector<std::string> expected = {
        "M0 150,80-",   "D0/" + shiftLeft + " 55,30L", "M" + left + " 150,80L",
        "U0/0 150,80L", "D1/" + right + " 150,80-",    "U1/0 150,80-"};
    EXPECT_EQ(log, expected);

    // A handler's exception stops at the widget.
    view.OnMouseDown = [](TCustomImage32*, TMouseButton, TShiftState, int, int, TCustomLayer*) {
        RaiseException("refused");
    };
    testing::internal::CaptureStderr();
    QTest::mousePress(port, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseRelease(port, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("refused"), std::string::npos);
}

TEST(ImgView32Widget, WheelNotchesAndKeysReachTheModel) {
    auto widget = ShownView(200, 100, 1000, 800);
    TImgView32& view = widget->View();
    std::string log;
    bool handle = true;
    view.OnMouseWheelDown = [&](TCustomImage32*, TShiftState, const TPoint& P, bool& Handled) {
        log += "down(" + std::to_string(P.X) + ")";
        Handled = handle;
    };
    view.OnMouseWheelUp = [&](TCustomImage32*, TShiftState, const TPoint&, bool& Handled) {
        log += "up";
        Handled = handle;
    };
    Wheel(widget->viewport(), -120);
    Wheel(widget->viewport(), 60);
    EXPECT_EQ(log, "down(10)");
    Wheel(widget->viewport(), 60);
    Wheel(widget->viewport(), 240);
    EXPECT_EQ(log, "down(10)upupup");
    EXPECT_EQ(view.ScrollY(), 0);
    // Unhandled, the wheel scrolls the view as well.
    handle = false;
    Wheel(widget->viewport(), -120);
    EXPECT_GT(view.ScrollY(), 0);

    std::vector<int> keys;
    view.OnKeyDown = [&](TCustomImage32*, uint16_t& Key, TShiftState) { keys.push_back(Key); };
    view.OnKeyUp = [&](TCustomImage32*, uint16_t& Key, TShiftState) { keys.push_back(-Key); };
    widget->setFocus();
    QTest::keyPress(widget.get(), Qt::Key_Shift);
    QTest::keyRelease(widget.get(), Qt::Key_Shift);
    QTest::keyClick(widget.get(), Qt::Key_B);
    EXPECT_EQ(keys, (std::vector<int>{VK_SHIFT, -VK_SHIFT, 'B', -'B'}));
}

TEST(ImgView32Widget, CursorAndPlainImage) {
    auto widget = ShownView(100, 100, 10, 10);
    widget->View().SetCursor(crCross);
    EXPECT_EQ(widget->viewport()->cursor().shape(), Qt::CrossCursor);
    widget->View().SetCursor(crDefault);
    EXPECT_EQ(widget->viewport()->cursor().shape(), Qt::ArrowCursor);
    // The pointer's position in client pixels, wherever it is.
    QCursor::setPos(widget->viewport()->mapToGlobal(QPoint(-7, 12)));
    if (QCursor::pos() == widget->viewport()->mapToGlobal(QPoint(-7, 12))) {
        EXPECT_EQ(widget->View().MousePosition(), Point(-7, 12));
    }
    EXPECT_EQ(TImgView32().MousePosition(), Point(0, 0));

    TImage32Widget image;
    image.resize(20, 20);
    image.Image().Bitmap.SetSize(100, 100);
    image.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&image));
    EXPECT_EQ(image.horizontalScrollBar()->isVisible(), false);
    EXPECT_EQ(image.Image().ViewportWidth(), 20);
    EXPECT_EQ(image.Image().OffsetHorz(), 0.0f);
}

TEST(GaugeBar, ClampsAndFiresOnlyOnChange) {
    TGaugeBar gauge;
    EXPECT_EQ(gauge.Min(), 0);
    EXPECT_EQ(gauge.Max(), 100);
    EXPECT_EQ(gauge.Position(), 0);
    EXPECT_EQ(gauge.LargeChange(), 1);
    EXPECT_EQ(gauge.SmallChange(), 1);
    EXPECT_EQ(gauge.Kind(), sbHorizontal);
    std::vector<int> changes;
    gauge.OnChange = [&](void* Sender) {
        EXPECT_EQ(Sender, &gauge);
        changes.push_back(gauge.Position());
    };
    gauge.SetMin(6);
    gauge.SetMax(100);
    gauge.SetPosition(4); // clamped to 6: no change a second time
    gauge.SetPosition(6);
    gauge.SetPosition(127);
    gauge.SetPosition(100);
    EXPECT_EQ(changes, (std::vector<int>{6, 100}));
    gauge.SetMax(50); // the new range moves the position
    EXPECT_EQ(changes.back(), 50);
    gauge.SetMin(80);
    EXPECT_EQ(gauge.Max(), 80);
    EXPECT_EQ(gauge.Position(), 80);
    gauge.SetKind(sbVertical);
    EXPECT_EQ(gauge.Kind(), sbVertical);
}

TEST(GaugeBar, MouseAndKeysStepItAndTellBeforeAndAfter) {
    TGaugeBar gauge;
    gauge.resize(200, 20);
    gauge.SetMin(100);
    gauge.SetMax(1200);
    gauge.SetLargeChange(220);
    gauge.SetSmallChange(1);
    gauge.SetPosition(200);
    gauge.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&gauge));
    std::string log;
    gauge.OnChange = [&](void*) { log += "C" + std::to_string(gauge.Position()); };
    gauge.OnMouseDown = [&](void* Sender, TMouseButton B, TShiftState, int, int) {
        EXPECT_EQ(Sender, &gauge);
        EXPECT_EQ(B, mbLeft);
        log += "D";
    };
    gauge.OnMouseUp = [&](void*, TMouseButton, TShiftState, int, int) { log += "U"; };
    // A press on the track beyond the thumb steps by the large change.
    QTest::mousePress(&gauge, Qt::LeftButton, Qt::NoModifier, QPoint(190, 10));
    QTest::mouseRelease(&gauge, Qt::LeftButton, Qt::NoModifier, QPoint(190, 10));
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.front(), 'D');
    EXPECT_EQ(log.back(), 'U');
    EXPECT_NE(log.find("C420"), std::string::npos) << log;
    log.clear();
    gauge.setFocus();
    const int before = gauge.Position();
    QTest::keyClick(&gauge, Qt::Key_Right);
    EXPECT_EQ(gauge.Position(), before + 1);
    EXPECT_EQ(log, "C" + std::to_string(before + 1));
}
