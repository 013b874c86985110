// SPDX-License-Identifier: GPL-3.0-or-later
// A long session on a picture kept at full size: gestures with whatever tool the keys select on
// both views, clicks and drags on all four scroll bars, the wheel, the command keys and idle
// work, in a seeded random order. After every step the drawing is still there, whole and
// usable, no gesture is left open, and nothing was reported.
#include "app/Tools.h"
#include "app/UResample.h"
#include "document/DualImage.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/raster/Image32.h"
#include "tests/app/ShellFixture.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <random>

namespace {

using Stress = TShellTest;

void Mouse(QWidget* W, QEvent::Type Type, QPoint P, Qt::MouseButton Button, Qt::MouseButtons Held) {
    QMouseEvent e(Type, QPointF(P), W->mapToGlobal(QPointF(P)), Button, Held, Qt::NoModifier);
    QApplication::sendEvent(W, &e);
}

TEST_F(Stress, GesturesScrollBarsAndKeysOnSixMegapixelsKeepTheDrawing) {
    constexpr int Width = 3000, Height = 2000;
    QTimer::singleShot(0, FResample, [] { FResample->btLeave->click(); });
    ASSERT_TRUE(Open(MakePicture(Width, Height)));
    ASSERT_EQ(FMain->ImgDst->View().Bitmap.Width(), Width);
    FMain->resize(1280, 1000);
    FMain->show();
    QApplication::processEvents();
    Domain->AutoDirCommand->trigger();
    TImgView32Widget* views[] = {FMain->ImgSrc, FMain->ImgDst};
    ASSERT_TRUE(FMain->ImgDst->horizontalScrollBar()->isVisible());
    ASSERT_TRUE(FMain->ImgSrc->verticalScrollBar()->isVisible());

    std::mt19937 rng(11);
    auto pick = [&](int N) { return static_cast<int>(rng() % static_cast<unsigned>(N)); };
    const std::pair<int, Qt::KeyboardModifiers> keys[] = {
        {Qt::Key_U, Qt::NoModifier},      {Qt::Key_A, Qt::NoModifier}, {Qt::Key_Z, Qt::ControlModifier},
        {Qt::Key_Y, Qt::ControlModifier}, {Qt::Key_T, Qt::NoModifier}, {Qt::Key_F, Qt::NoModifier},
        {Qt::Key_P, Qt::NoModifier}};
    int gestures = 0, clicks = 0;
    std::string last;
    for (int step = 0; step < 160; ++step) {
        const int kind = pick(10);
        TImgView32Widget* view = views[pick(2)];
        if (kind < 4) {
            // A gesture with whatever tool the keys left selected.
            QWidget* port = view->viewport();
            QPoint p(pick(port->width()), pick(port->height()));
            Mouse(port, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
            for (int m = pick(6); m >= 0; --m) {
                p += QPoint(pick(41) - 20, pick(41) - 20);
                Mouse(port, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
            }
            Mouse(port, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
            ++gestures;
            last = "gesture";
        } else if (kind < 8) {
            // A click in a scroll bar's groove, or a drag of its thumb.
            QScrollBar* bar = pick(2) == 0 ? view->horizontalScrollBar() : view->verticalScrollBar();
            const QPoint at(pick(bar->width()), pick(bar->height()));
            if (pick(3) == 0) {
                QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, at);
                QTest::mouseMove(bar, at + QPoint(pick(31) - 15, pick(31) - 15));
                QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, at);
            } else {
                QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, at);
            }
            ++clicks;
            last = "scroll bar";
        } else if (kind == 8) {
            const auto& [key, modifiers] = keys[pick(7)];
            QKeyEvent press(QEvent::KeyPress, key, modifiers);
            QApplication::sendEvent(FMain, &press);
            last = "key " + std::to_string(key);
        } else if (pick(2) == 0) {
            const QPoint p(pick(view->viewport()->width()), pick(view->viewport()->height()));
            QWheelEvent wheel(QPointF(p), view->viewport()->mapToGlobal(QPointF(p)), QPoint(),
                              QPoint(0, pick(2) == 0 ? 120 : -120), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(view->viewport(), &wheel);
            last = "wheel";
        } else {
            bool done = false;
            FMain->ApplicationIdle(done);
            last = "idle";
        }
        QApplication::processEvents();
        ASSERT_NE(Domain->Document, nullptr) << "step " << step << " after " << last;
        ASSERT_EQ(Domain->Document->ChangeNesting(), 0) << "step " << step << " after " << last;
        ASSERT_TRUE(Domain->SaveCommand->isEnabled()) << "step " << step;
        ASSERT_FALSE(FMain->panDual->isHidden()) << "step " << step;
        ASSERT_EQ(FMain->ImgDst->View().Bitmap.Width(), Width);
        ASSERT_EQ(FMain->ImgSrc->View().Bitmap.Height(), Height);
        ASSERT_TRUE(Messages.empty()) << Messages.front().Text;
    }
    EXPECT_GE(gestures, 40);
    EXPECT_GE(clicks, 40);
    // The drawing is the one of the session: unsaved, so Close asks.
    ASSERT_TRUE(Domain->Document->Modified);
    Answers.push_back(QMessageBox::Cancel);
    Domain->CloseCommand->trigger();
    ASSERT_NE(Domain->Document, nullptr);
    // Without a drawing the status bar shows no memory of one.
    Domain->CloseCommand->trigger();
    EXPECT_EQ(Domain->Document, nullptr);
    EXPECT_TRUE(FMain->StatusPanel->text().isEmpty());
    FMain->hide();
}

} // namespace
