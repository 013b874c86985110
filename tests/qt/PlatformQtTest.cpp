// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/Beep.h"
#include "platform/qt/Bitmap32Image.h"
#include "platform/qt/Colors.h"
#include "platform/qt/ImageList.h"
#include "platform/qt/PointerConfinement.h"
#include "platform/rtl/Exception.h"

#include <QGuiApplication>
#include <QWidget>
#include <gtest/gtest.h>

TEST(Bitmap32Image, WrapsThePixelsWithoutCopying) {
    TBitmap32 bitmap(3, 2);
    bitmap.SetPixel(2, 1, Color32(10, 20, 30, 40));
    QImage view = Bitmap32AsQImage(bitmap);
    ASSERT_EQ(view.format(), QImage::Format_ARGB32);
    EXPECT_EQ(view.constBits(), reinterpret_cast<const uchar*>(bitmap.Bits()));
    EXPECT_EQ(view.pixel(2, 1), qRgba(10, 20, 30, 40));
    view.setPixel(0, 0, qRgba(1, 2, 3, 4));
    EXPECT_EQ(bitmap.Pixel(0, 0), Color32(1, 2, 3, 4));

    const TBitmap32& constant = bitmap;
    QImage readOnly = Bitmap32AsQImage(constant);
    readOnly.setPixel(0, 0, qRgba(9, 9, 9, 9)); // Qt detaches first
    EXPECT_EQ(bitmap.Pixel(0, 0), Color32(1, 2, 3, 4));

    EXPECT_TRUE(Bitmap32AsQImage(TBitmap32()).isNull());

    QImage rgb(2, 2, QImage::Format_RGB888);
    rgb.fill(QColor(200, 100, 50));
    TBitmap32 copy;
    AssignQImage(copy, rgb);
    ASSERT_EQ(copy.Width(), 2);
    EXPECT_EQ(copy.Pixel(1, 1), Color32(200, 100, 50));
}

TEST(Colors, WindowColoursAndSystemColours) {
    EXPECT_EQ(ColorToQColor(clNavy), QColor(0, 0, 128));
    EXPECT_EQ(ColorToColor32(RGBToColor(1, 2, 3)), Color32(1, 2, 3));
    EXPECT_TRUE(IsSystemColor(clBtnFace));
    EXPECT_FALSE(IsSystemColor(clWhite));
    EXPECT_EQ(ColorToQColor(clBtnFace), QGuiApplication::palette().color(QPalette::Button));
}

TEST(ImageList, LinksHearEveryChangeAndOutliveTheList) {
    auto list = std::make_unique<TImageList>(4, 4);
    TChangeLink link;
    int changes = 0;
    link.OnChange = [&] { ++changes; };
    list->RegisterChanges(&link);
    QImage big(8, 2, QImage::Format_RGB32);
    big.fill(Qt::red);
    EXPECT_EQ(list->Add(big), 0);
    EXPECT_EQ(list->GetBitmap(0).size(), QSize(4, 4)); // kept at the list's size
    EXPECT_EQ(list->GetBitmap(0).pixel(3, 1), qRgb(255, 0, 0));
    EXPECT_EQ(qAlpha(list->GetBitmap(0).pixel(3, 3)), 0);
    list->Replace(0, big);
    list->Add(big);
    list->Delete(0);
    EXPECT_EQ(changes, 4);
    EXPECT_THROW(list->GetBitmap(1), Exception);
    list.reset();
    EXPECT_EQ(link.Sender(), nullptr);

    // A link destroyed first unregisters itself.
    TImageList other;
    {
        TChangeLink shortLived;
        other.RegisterChanges(&shortLived);
    }
    other.Add(big);
}

TEST(PointerConfinement, ClampsPositionsUntilFreed) {
    QWidget widget;
    widget.setGeometry(100, 100, 50, 20);
    widget.show();
    ConfinePointer(&widget, ClientRectOnScreen(&widget));
    EXPECT_TRUE(PointerConfined());
    EXPECT_EQ(ConfinedPosition(&widget, QPoint(-10, 5)), QPoint(0, 5));
    EXPECT_EQ(ConfinedPosition(&widget, QPoint(70, 40)), QPoint(49, 19));
    EXPECT_EQ(ConfinedPosition(&widget, QPoint(3, 4)), QPoint(3, 4));
    FreePointer();
    EXPECT_FALSE(PointerConfined());
    EXPECT_EQ(ConfinedPosition(&widget, QPoint(70, 40)), QPoint(70, 40));
}

TEST(Beep, GoesToTheInstalledHandler) {
    int beeps = 0;
    SetBeepHandler([&] { ++beeps; });
    MessageBeep();
    MessageBeep();
    SetBeepHandler(nullptr);
    EXPECT_EQ(beeps, 2);
}
