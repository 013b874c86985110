// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/SimpleColorSelector.h"
#include "controls/ControlPictures.h"
#include "platform/qt/PointerConfinement.h"
#include "platform/qt/ScreenCursors.h"

#include <QApplication>
#include <QEnterEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace {
// As the main window sets one up: 150 wide, 82 high, a 100 x 8 ruler and a 20 x 8 thumb.
std::unique_ptr<TSimpleColorSelector> MainWindowSelector() {
    auto selector = std::make_unique<TSimpleColorSelector>();
    selector->SetBitmapSlider(LoadControlPicture("COLORRULER"));
    selector->SetBitmapBtn(LoadControlPicture("COLORTHUMB"));
    selector->resize(150, 82);
    selector->show();
    return selector;
}

// QTest takes the point (0, 0) for "the centre"; the corner is sent by hand.
void SendAtCorner(QWidget* Widget, QEvent::Type Type, Qt::MouseButton Button) {
    const Qt::MouseButtons held = Type == QEvent::MouseButtonPress ? Qt::MouseButtons(Button) : Qt::NoButton;
    QMouseEvent event(Type, QPointF(0, 0), Widget->mapToGlobal(QPointF(0, 0)), Button, held, Qt::NoModifier);
    QApplication::sendEvent(Widget, &event);
}
} // namespace

TEST(SimpleColorSelector, ChildrenAndDefaults) {
    TSimpleColorSelector selector;
    EXPECT_EQ(selector.SelectedColor(), clBlack);
    EXPECT_FALSE(selector.HorizontalLayout());
    EXPECT_EQ(selector.Slider()->objectName(), "jvSlider");
    EXPECT_EQ(selector.Image()->objectName(), "Image");
    EXPECT_EQ(selector.Slider()->Maximum(), 255);
    EXPECT_EQ(selector.Slider()->Position(), 128);
    // The default ruler is 11 high; the field takes the rest and is drawn at once.
    EXPECT_EQ(selector.Slider()->height(), 11);
    EXPECT_EQ(selector.Field().size(), selector.Image()->size());
    EXPECT_EQ(selector.Image()->height(), selector.height() - 11);
}

TEST(SimpleColorSelector, FieldWorkedExample) {
    auto selector = MainWindowSelector();
    ASSERT_EQ(selector->Slider()->height(), 8);
    ASSERT_EQ(selector->Slider()->width(), 150);
    const QImage& field = selector->Field();
    ASSERT_EQ(field.size(), QSize(150, 74));
    EXPECT_EQ(field.pixel(30, 0), qRgb(153, 103, 103));
    for (int y = 0; y < 74; y += 7)
        EXPECT_EQ(field.pixel(0, y), qRgb(128, 128, 128)) << y;
    // Down the field the hue turns: a third of the way down is green.
    const QColor third = QColor::fromRgb(field.pixel(149, 74 / 3 + 1));
    EXPECT_GT(third.green(), third.red());
}

TEST(SimpleColorSelector, AReleasePicksAndLetsThePointerGo) {
    auto selector = MainWindowSelector();
    int picks = 0;
    selector->OnSelectColor = [&](void* Sender) {
        EXPECT_EQ(Sender, selector.get());
        ++picks;
    };
    SendAtCorner(selector->Image(), QEvent::MouseButtonPress, Qt::RightButton);
    EXPECT_TRUE(PointerConfined());
    EXPECT_EQ(PointerConfinementRect(), ClientRectOnScreen(selector.get()));
    SendAtCorner(selector->Image(), QEvent::MouseButtonRelease, Qt::RightButton);
    EXPECT_FALSE(PointerConfined());
    EXPECT_EQ(picks, 1);
    EXPECT_EQ(selector->SelectedColor(), RGBToColor(128, 128, 128));

    QTest::mousePress(selector->Image(), Qt::LeftButton, {}, QPoint(30, 0));
    QTest::mouseRelease(selector->Image(), Qt::LeftButton, {}, QPoint(30, 0));
    EXPECT_EQ(selector->SelectedColor(), RGBToColor(153, 103, 103));

    // Over the slider strip below the field: the nearest field pixel, of the last row.
    QTest::mousePress(selector->Image(), Qt::LeftButton, {}, QPoint(30, 70));
    QTest::mouseRelease(selector->Image(), Qt::LeftButton, {}, QPoint(30, 78));
    const QRgb last = selector->Field().pixel(30, 73);
    EXPECT_EQ(selector->SelectedColor(), RGBToColor(qRed(last), qGreen(last), qBlue(last)));
    EXPECT_EQ(picks, 3);
}

TEST(SimpleColorSelector, OnlySliderDragsAndResizesRedraw) {
    auto selector = MainWindowSelector();
    TQuorSlider& slider = *selector->Slider();
    slider.SetPosition(0);
    EXPECT_EQ(selector->Field().pixel(0, 0), qRgb(128, 128, 128)); // not redrawn by code

    // A drag to the left end: the offset rule leaves the position above 0, so drag to x = 6.
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(6, 4));
    QTest::mouseMove(&slider, QPoint(6, 4));
    EXPECT_EQ(slider.Position(), 2);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(6, 4));
    EXPECT_EQ(selector->Field().pixel(0, 0), qRgb(2, 2, 2));

    selector->SetHorizontalLayout(true);
    const QRgb before = selector->Field().pixel(0, 40);
    selector->resize(150, 83);
    EXPECT_NE(selector->Field().pixel(0, 40), before);
    EXPECT_EQ(selector->Field().height(), 75);
}

TEST(SimpleColorSelector, FieldShowsTheCursorOfSlotOne) {
    auto selector = MainWindowSelector();
    SetScreenCursor(1, QCursor(Qt::CrossCursor));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(selector->Image(), &enter);
    EXPECT_EQ(selector->Image()->cursor().shape(), Qt::CrossCursor);
}
