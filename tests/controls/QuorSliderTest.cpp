// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/QuorSlider.h"
#include "controls/ControlPictures.h"
#include "platform/qt/PointerConfinement.h"

#include <QTest>
#include <gtest/gtest.h>

#include <string>

namespace {
// The colour field's slider: a 100 x 8 ruler stretched to 150, a 20 x 8 thumb, Maximum 255.
std::unique_ptr<TQuorSlider> FieldSlider() {
    auto slider = std::make_unique<TQuorSlider>();
    slider->SetImageRuler(LoadControlPicture("COLORRULER"));
    slider->SetImageThumb(LoadControlPicture("COLORTHUMB"));
    slider->resize(150, 8);
    slider->SetMaximum(255);
    slider->SetPosition(128);
    slider->show();
    return slider;
}

void Move(TQuorSlider& Slider, QPoint At) {
    QTest::mouseMove(&Slider, At);
}
} // namespace

TEST(QuorSlider, StartsWithItsOwnPicturesAndSplitsTheThumbLater) {
    TQuorSlider slider;
    EXPECT_EQ(slider.size(), QSize(191, 11));
    EXPECT_TRUE(slider.AutoSize());
    EXPECT_TRUE(slider.Horizontal);
    EXPECT_EQ(slider.Maximum(), 100);
    EXPECT_EQ(slider.Position(), 0);
    EXPECT_EQ(slider.ImageThumb().size(), QSize(52, 8));
    EXPECT_TRUE(slider.ThumbShown().isNull());
    EXPECT_DOUBLE_EQ(slider.Scale(), 1.91);
    ASSERT_NE(slider.SplitTimer(), nullptr);
    // The split waits for a 10 ms timer; a loaded machine may take longer to run it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return slider.SplitTimer() == nullptr; }, 5000));
    EXPECT_EQ(slider.ThumbShown().size(), QSize(26, 8));
    EXPECT_EQ(slider.ThumbSpare().size(), QSize(26, 8));
    EXPECT_DOUBLE_EQ(slider.Scale(), 1.65);
}

TEST(QuorSlider, FieldSliderScaleAndDrag) {
    auto slider = FieldSlider();
    EXPECT_EQ(slider->ThumbShown().size(), QSize(10, 8));
    EXPECT_NEAR(slider->Scale(), 140.0 / 255, 1e-12);
    // Position 128 draws the thumb at x = Round(70.27) = 70: its pressed-looking left column
    // differs from the ruler there.
    const QImage normal = slider->ThumbShown();
    QImage shown = slider->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(shown.pixel(70, 3), normal.pixel(0, 3));
    EXPECT_EQ(shown.pixel(79, 3), normal.pixel(9, 3));

    std::string events;
    slider->OnBeginChange = [&](void* Sender) {
        EXPECT_EQ(Sender, slider.get());
        events += "B";
    };
    slider->OnChanged = [&](void*) { events += "C" + std::to_string(slider->Position()); };
    slider->OnStopChanged = [&](void*) { events += "S"; };

    QTest::mousePress(slider.get(), Qt::LeftButton, {}, QPoint(70, 4));
    EXPECT_TRUE(slider->Dragging());
    EXPECT_TRUE(slider->Swapped());
    EXPECT_TRUE(PointerConfined());
    EXPECT_EQ(PointerConfinementRect(), ClientRectOnScreen(slider.get()));
    EXPECT_EQ(slider->Position(), 128); // a press alone does not move
    Move(*slider, QPoint(80, 4));
    EXPECT_EQ(slider->Position(), 137);
    Move(*slider, QPoint(5, 4)); // offset 0: unchanged
    EXPECT_EQ(slider->Position(), 137);
    Move(*slider, QPoint(400, 30)); // clamped to the slider's last column
    EXPECT_EQ(slider->Position(), 255);
    QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, QPoint(400, 30));
    EXPECT_FALSE(slider->Dragging());
    EXPECT_FALSE(slider->Swapped());
    EXPECT_FALSE(PointerConfined());
    EXPECT_EQ(events, "BC137C255S");
}

TEST(QuorSlider, PressAndReleaseWithoutMoving) {
    auto slider = FieldSlider();
    std::string events;
    slider->OnBeginChange = [&](void*) { events += "B"; };
    slider->OnChanged = [&](void*) { events += "C"; };
    slider->OnStopChanged = [&](void*) { events += "S"; };
    QTest::mousePress(slider.get(), Qt::RightButton, {}, QPoint(20, 4));
    QTest::mouseRelease(slider.get(), Qt::RightButton, {}, QPoint(20, 4));
    EXPECT_EQ(events, "BS");
    EXPECT_EQ(slider->Position(), 128);
}

TEST(QuorSlider, ADragBelowTheThumbWaitsUntilThePointerComesNear) {
    TQuorSlider slider;
    slider.SetImageThumb(LoadControlPicture("COLORTHUMB")); // halves of 10 x 8
    slider.SetAutoSize(false);
    slider.resize(150, 20);
    slider.SetMaximum(140);
    slider.show();
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(50, 15));
    QTest::mouseMove(&slider, QPoint(60, 15)); // below the thumb's height of 8
    EXPECT_EQ(slider.Position(), 0);
    EXPECT_FALSE(slider.Moved());
    QTest::mouseMove(&slider, QPoint(60, 8));
    EXPECT_EQ(slider.Position(), 55);
    QTest::mouseMove(&slider, QPoint(70, 19)); // once moved, anywhere in the slider
    EXPECT_EQ(slider.Position(), 65);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(70, 19));
}

TEST(QuorSlider, PositionAndMaximumClamp) {
    TQuorSlider slider;
    slider.SetPosition(-5);
    EXPECT_EQ(slider.Position(), 0);
    slider.SetPosition(101);
    EXPECT_EQ(slider.Position(), 100);
    slider.SetPosition(80);
    slider.SetMaximum(50);
    EXPECT_EQ(slider.Position(), 50);
    EXPECT_DOUBLE_EQ(slider.Scale(), 191.0 / 50);

    // Maximum 0 leaves no scale rather than dividing by zero; a drag then takes no position.
    slider.SetMaximum(0);
    EXPECT_EQ(slider.Scale(), 0.0);
    slider.show();
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(50, 4));
    QTest::mouseMove(&slider, QPoint(90, 4));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(90, 4));
    EXPECT_EQ(slider.Position(), 0);
}

TEST(QuorSlider, HorizontalIsAPlainField) {
    auto slider = FieldSlider();
    const double before = slider->Scale();
    slider->Horizontal = false;
    EXPECT_EQ(slider->Scale(), before);
    slider->SetPosition(10);
    EXPECT_DOUBLE_EQ(slider->Scale(), 0.0); // (8 - 8) / 255 along the height
}

TEST(QuorSlider, OddThumbWidthsSqueezeTheRightHalf) {
    TQuorSlider slider;
    QImage thumb(21, 4, QImage::Format_ARGB32);
    thumb.fill(Qt::white);
    for (int y = 0; y < 4; ++y)
        for (int x = 10; x < 21; ++x)
            thumb.setPixel(x, y, qRgb(0, 0, 0));
    slider.SetImageThumb(thumb);
    EXPECT_EQ(slider.ThumbShown().size(), QSize(10, 4));
    EXPECT_EQ(slider.ThumbSpare().size(), QSize(10, 4));
    EXPECT_EQ(slider.ThumbShown().pixel(9, 0), qRgb(255, 255, 255));
    EXPECT_EQ(slider.ThumbSpare().pixel(0, 0), qRgb(0, 0, 0));
}
