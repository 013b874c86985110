// SPDX-License-Identifier: GPL-3.0-or-later
// The two views of the drawing window as a user meets them: every scroll bar shows its own
// view's position after each step, and the wheel with a drawing tool sets the brush only.
#include "app/Tools.h"
#include "tests/app/ShellFixture.h"
#include "tests/support/JpegPhoto.h"

#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <QWheelEvent>

namespace {

using Views = TShellTest;

void Wheel(QWidget* Target, int Delta) {
    const QPointF at(Target->width() / 2, Target->height() / 2);
    QWheelEvent event(at, Target->mapToGlobal(at), QPoint(), QPoint(0, Delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(Target, &event);
}

// Each bar spans its view's range, stands at its view's position and is shown when it scrolls.
void ExpectBarsShowTheirViews(TFMain* Main, const std::string& When) {
    QApplication::processEvents();
    for (TImgView32Widget* widget : {Main->ImgSrc, Main->ImgDst}) {
        const std::string where = When + (widget == Main->ImgSrc ? ", photo view" : ", drawing view");
        TImgView32& view = widget->View();
        EXPECT_EQ(view.ViewportWidth(), widget->viewport()->width()) << where;
        EXPECT_EQ(view.ViewportHeight(), widget->viewport()->height()) << where;
        const struct {
            QScrollBar* Bar;
            int Range, Position, Page;
        } axes[] = {
            {widget->horizontalScrollBar(), view.HorzScrollRange(), view.ScrollX(), view.ViewportWidth()},
            {widget->verticalScrollBar(), view.VertScrollRange(), view.ScrollY(), view.ViewportHeight()}};
        for (const auto& axis : axes) {
            EXPECT_EQ(axis.Bar->minimum(), 0) << where;
            EXPECT_EQ(axis.Bar->maximum(), axis.Range) << where;
            EXPECT_EQ(axis.Bar->value(), axis.Position) << where;
            EXPECT_EQ(axis.Bar->pageStep(), std::max(axis.Page, 1)) << where;
            EXPECT_EQ(axis.Bar->isVisible(), widget->isVisible() && axis.Range > 0) << where;
        }
        // What the view shows starts where the bars say.
        if (view.HorzScrollRange() > 0) {
            EXPECT_EQ(view.ControlToBitmap(TPoint{0, 0}).X, widget->horizontalScrollBar()->value()) << where;
        }
        if (view.VertScrollRange() > 0) {
            EXPECT_EQ(view.ControlToBitmap(TPoint{0, 0}).Y, widget->verticalScrollBar()->value()) << where;
        }
    }
}

// The picture pixel at the middle of a view.
TPoint Centre(TImgView32& View) {
    return View.ControlToBitmap(TPoint{View.ViewportWidth() / 2, View.ViewportHeight() / 2});
}

TEST_F(Views, EveryBarShowsItsViewThroughOpenScrollWheelResizeAndClose) {
    const std::string photoA = TestPhotoPath("photo-a.jpg"), photoB = TestPhotoPath("photo-b.jpg");
    FMain->resize(1280, 900);
    FMain->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FMain));
    TImgView32Widget* src = FMain->ImgSrc;
    TImgView32Widget* dst = FMain->ImgDst;

    ASSERT_TRUE(Open(photoA));
    ExpectBarsShowTheirViews(FMain, "photo-a opened");
    EXPECT_EQ(src->View().ScrollX(), 0);
    EXPECT_EQ(dst->View().ScrollX(), 0);

    // Each bar scrolls its view and the other view follows, bars included.
    src->horizontalScrollBar()->setValue(300);
    ExpectBarsShowTheirViews(FMain, "photo view's bar moved");
    EXPECT_EQ(src->View().ScrollX(), 300);
    EXPECT_NEAR(Centre(src->View()).X, Centre(dst->View()).X, 1);
    dst->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    ExpectBarsShowTheirViews(FMain, "drawing view's bar paged");
    EXPECT_GT(src->View().ScrollY(), 0);
    EXPECT_NEAR(Centre(src->View()).Y, Centre(dst->View()).Y, 1);
    dst->horizontalScrollBar()->setValue(dst->horizontalScrollBar()->maximum());
    ExpectBarsShowTheirViews(FMain, "drawing view's bar to the end");

    // The wheel over the photo with a brush tool sets the brush and scrolls nothing.
    Domain->AutoDirCommand->trigger();
    const int size = Domain->Document->Size();
    const TPoint srcScroll{src->View().ScrollX(), src->View().ScrollY()};
    Wheel(src->viewport(), 120);
    Wheel(src->viewport(), 120);
    EXPECT_EQ(Domain->Document->Size(), size + 2);
    EXPECT_EQ(src->View().ScrollX(), srcScroll.X);
    EXPECT_EQ(src->View().ScrollY(), srcScroll.Y);
    ExpectBarsShowTheirViews(FMain, "wheel with a brush");
    // Over the drawing the wheel scrolls both views.
    const int dstY = dst->View().ScrollY();
    Wheel(dst->viewport(), 120);
    EXPECT_LT(dst->View().ScrollY(), dstY);
    EXPECT_EQ(Domain->Document->Size(), size + 2);
    ExpectBarsShowTheirViews(FMain, "wheel over the drawing");
    // Keys scroll the view that has the focus.
    QTest::keyClick(dst, Qt::Key_Home);
    QTest::keyClick(dst, Qt::Key_Down);
    ExpectBarsShowTheirViews(FMain, "keys");

    // The splitter gives the photo more room.
    const int room = FMain->glSplitter->width() - FMain->glSplitter->handleWidth();
    FMain->glSplitter->setSizes({room * 2 / 3, room - room * 2 / 3});
    ExpectBarsShowTheirViews(FMain, "splitter moved");

    ASSERT_TRUE(Open(photoB));
    ExpectBarsShowTheirViews(FMain, "photo-b opened");
    EXPECT_EQ(src->View().ScrollX(), 0);
    EXPECT_EQ(src->View().ScrollY(), 0);
    src->horizontalScrollBar()->setValue(40);
    ExpectBarsShowTheirViews(FMain, "photo-b scrolled");

    FMain->resize(1000, 700);
    ExpectBarsShowTheirViews(FMain, "window made smaller");
    FMain->resize(1800, 1000);
    ExpectBarsShowTheirViews(FMain, "window made larger");

    Domain->CloseCommand->trigger();
    ExpectBarsShowTheirViews(FMain, "closed");
    ASSERT_TRUE(Open(photoA));
    ExpectBarsShowTheirViews(FMain, "photo-a opened again");
    EXPECT_EQ(dst->View().ScrollX(), 0);
    FMain->hide();
}

} // namespace
