// SPDX-License-Identifier: GPL-3.0-or-later
// A scrolling view on a high-density screen shows one picture pixel per device pixel, and the
// mouse reaches the model in picture pixels.
#include "platform/qt/ImgView32Widget.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <memory>

namespace {

// Twice the density unless the run asks for another ratio; read before the application starts.
const bool ScaledScreen = [] {
    if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR")) qputenv("QT_SCALE_FACTOR", "2");
    return true;
}();

// Every pixel of the picture tells where it lies.
TColor32 PicturePixel(int X, int Y) {
    return 0xFF000000u | static_cast<uint32_t>((X & 0xFF) << 16) | static_cast<uint32_t>((Y & 0xFF) << 8) |
           static_cast<uint32_t>(((X >> 8) << 4) | (Y >> 8));
}

TEST(HighDensityView, ShowsAndTakesPicturePixels) {
    ASSERT_TRUE(ScaledScreen);
    TImgView32Widget widget;
    widget.resize(201, 101);
    TImgView32& view = widget.View();
    view.Bitmap.SetSize(900, 700);
    for (int y = 0; y < 700; ++y)
        for (int x = 0; x < 900; ++x)
            view.Bitmap.SetPixel(x, y, PicturePixel(x, y));
    // Half opacity over the surround, as the photo is shown.
    view.Color = 0xFFFFFFFF;
    view.Bitmap.DrawMode = dmBlend;
    view.Bitmap.MasterAlpha = 128;
    view.Changed();
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    QWidget* port = widget.viewport();
    const qreal ratio = port->devicePixelRatio();
    ASSERT_GT(ratio, 1.0);

    // The model's viewport and buffer are the viewport in device pixels.
    const QSize device(qRound(port->width() * ratio), qRound(port->height() * ratio));
    EXPECT_EQ(view.ViewportWidth(), device.width());
    EXPECT_EQ(view.ViewportHeight(), device.height());
    EXPECT_EQ(widget.horizontalScrollBar()->maximum(), 900 - device.width());
    EXPECT_EQ(widget.horizontalScrollBar()->pageStep(), device.width());

    // The bars count picture pixels; the screen shows the buffer pixel for pixel, and the buffer
    // holds the picture pixel under each device pixel.
    widget.horizontalScrollBar()->setValue(37);
    widget.verticalScrollBar()->setValue(11);
    EXPECT_EQ(view.ScrollX(), 37);
    EXPECT_EQ(view.ScrollY(), 11);
    const QImage shown = port->grab().toImage();
    EXPECT_EQ(view.Buffer.Width(), device.width());
    EXPECT_EQ(view.Buffer.Height(), device.height());
    ASSERT_EQ(shown.width(), device.width());
    ASSERT_EQ(shown.height(), device.height());
    TBitmap32 picture(1, 1);
    for (const QPoint at : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(2, 3), QPoint(51, 33),
                            QPoint(120, 77), QPoint(device.width() - 2, device.height() - 2)}) {
        const TColor32 buffered = view.Buffer.Pixel(at.x(), at.y());
        EXPECT_EQ(shown.pixel(at) | 0xFF000000u, buffered | 0xFF000000u) << at.x() << "," << at.y();
        picture.Clear(0xFFFFFFFF);
        picture.DrawMode = dmBlend;
        TBitmap32 one(1, 1);
        one.SetPixel(0, 0, PicturePixel(at.x() + 37, at.y() + 11));
        one.DrawMode = dmBlend;
        one.MasterAlpha = 128;
        picture.Draw(0, 0, one);
        EXPECT_EQ(buffered | 0xFF000000u, picture.Pixel(0, 0) | 0xFF000000u) << at.x() << "," << at.y();
    }

    // A press at a logical position reaches the layers at the device pixel under it.
    const QPoint logical(10, 5);
    const TPoint pixel{qRound(logical.x() * ratio), qRound(logical.y() * ratio)};
    auto* layer = view.Layers().Add<TPositionedLayer>();
    layer->SetLocation(FloatRect(pixel.X - 1 + 37, pixel.Y - 1 + 11, pixel.X + 1 + 37, pixel.Y + 1 + 11));
    layer->SetScaled(true);
    layer->SetMouseEvents(true);
    TPoint pressed{-1, -1};
    TCustomLayer* hit = nullptr;
    view.OnMouseDown = [&](TCustomImage32*, TMouseButton, TShiftState, int X, int Y, TCustomLayer* L) {
        pressed = TPoint{X, Y};
        hit = L;
    };
    QTest::mousePress(port, Qt::LeftButton, Qt::NoModifier, logical);
    QTest::mouseRelease(port, Qt::LeftButton, Qt::NoModifier, logical);
    EXPECT_EQ(pressed.X, pixel.X);
    EXPECT_EQ(pressed.Y, pixel.Y);
    EXPECT_EQ(hit, layer);
    EXPECT_EQ(view.ControlToBitmap(pressed).X, pixel.X + 37);

    // So does the wheel's position.
    TPoint wheeled{-1, -1};
    view.OnMouseWheelUp = [&](TCustomImage32*, TShiftState, const TPoint& P, bool& Handled) {
        wheeled = P;
        Handled = true;
    };
    QWheelEvent wheel(QPointF(logical), port->mapToGlobal(QPointF(logical)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(port, &wheel);
    EXPECT_EQ(wheeled.X, pixel.X);
    EXPECT_EQ(wheeled.Y, pixel.Y);
}

} // namespace
