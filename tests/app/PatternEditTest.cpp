// SPDX-License-Identifier: GPL-3.0-or-later
// The pattern editor as the pattern manager runs it: the five frame slots, the curves of the
// selected frame on the layer, drawing and dragging curves with the mouse, and what the manager
// keeps after Accept and Cancel.
#include "app/UPatternEdit.h"

#include "app/InputController.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/raster/Bitmap32.h"
#include "platform/system/ApplicationFolder.h"
#include "presets/EditorHooks.h"
#include "presets/Patterns.h"
#include "presets/PolyBezier.h"
#include "presets/PolyBezierLayer.h"

#include <QApplication>
#include <QFrame>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {
void WhenShown(std::function<void(TFPatternEdit&)> Steps) {
    QTimer::singleShot(0, [Steps] {
        auto* form = qobject_cast<TFPatternEdit*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        ASSERT_TRUE(form->isVisible());
        Steps(*form);
        if (form->isVisible()) form->reject();
    });
}

void Mouse(QWidget* W, QEvent::Type Type, QPoint P, Qt::MouseButton Button, Qt::MouseButtons Held) {
    QMouseEvent e(Type, QPointF(P), W->mapToGlobal(QPointF(P)), Button, Held, Qt::NoModifier);
    QApplication::sendEvent(W, &e);
}

// A press at the first point, a move to every other, a release at the last.
void Trace(TFPatternEdit& Form, const std::vector<QPoint>& Path) {
    QWidget* view = Form.ImgView->viewport();
    Mouse(view, QEvent::MouseButtonPress, Path.front(), Qt::LeftButton, Qt::LeftButton);
    for (size_t i = 1; i < Path.size(); ++i)
        Mouse(view, QEvent::MouseMove, Path[i], Qt::NoButton, Qt::LeftButton);
    Mouse(view, QEvent::MouseButtonRelease, Path.back(), Qt::LeftButton, Qt::NoButton);
}

void ClickSlot(TFPatternEdit& Form, int K) {
    QWidget* slot = Form.Images[static_cast<size_t>(K)]->viewport();
    Mouse(slot, QEvent::MouseButtonPress, QPoint(20, 20), Qt::LeftButton, Qt::LeftButton);
    Mouse(slot, QEvent::MouseButtonRelease, QPoint(20, 20), Qt::LeftButton, Qt::NoButton);
}

std::vector<uint32_t> Pixels(const TBitmap32& B) {
    return {B.Bits(), B.Bits() + static_cast<size_t>(B.Width()) * B.Height()};
}

std::vector<uint32_t> Slot(TFPatternEdit& Form, int K) {
    return Pixels(Form.Images[static_cast<size_t>(K)]->Image().Bitmap);
}

struct TPatternFiles {
    TPatternFiles() { InstallPatternEditor(); }
    ~TPatternFiles() {
        SetPatternEditorHook(nullptr);
        for (const auto& entry : std::filesystem::directory_iterator(ApplicationFolder()))
            std::filesystem::remove(entry.path());
    }
};

const TBezierCurve CurveA{{20, 30}, {60, 10}, {120, 80}, {180, 40}};
const TBezierCurve CurveB{{40, 150}, {70, 120}, {100, 190}, {160, 170}};
} // namespace

TEST(PatternEditTest, AnEmptyPatternShowsFiveGreySlotsAndAnEmptyLayer) {
    TPatternFiles files;
    TPatternManager manager;
    manager.EditorCaption = "Create New Pattern";
    WhenShown([](TFPatternEdit& form) {
        EXPECT_EQ(form.windowTitle(), "Create New Pattern");
        EXPECT_EQ(form.size(), QSize(333, 299));
        EXPECT_EQ(form.Pattern->FrameCount(), 5);
        EXPECT_EQ(form.CurrentFrame, 0);
        EXPECT_EQ(form.Layer->Count(), 0);
        for (int k = 0; k < 5; ++k) {
            const TBitmap32& b = form.Images[static_cast<size_t>(k)]->Image().Bitmap;
            EXPECT_EQ(b.Width(), 56);
            EXPECT_EQ(b.Pixel(0, 0), 0xFFCCCCCCu);
            EXPECT_EQ(b.Pixel(55, 55), 0xFFCCCCCCu);
            EXPECT_EQ(form.Bevels[static_cast<size_t>(k)]->frameShadow(),
                      k == 0 ? QFrame::Sunken : QFrame::Raised);
        }
        EXPECT_EQ(form.ActiveController, form.PointerController.get());
    });
    EXPECT_FALSE(manager.New());
    // Cancelled: the new pattern stays, unsaved, with five empty frames.
    ASSERT_EQ(manager.Count(), 1);
    EXPECT_TRUE(manager.Current().FileName.empty());
    EXPECT_EQ(manager.Current().Target, nullptr);
}

TEST(PatternEditTest, ADrawnCurveGoesIntoTheSelectedFrameOnlyAndIsSavedOnAccept) {
    TPatternFiles files;
    TPatternManager manager;
    auto pattern = std::make_unique<TPattern>();
    for (int f = 0; f < 3; ++f) {
        auto frame = std::make_unique<TPatternFrame>();
        frame->AddCurve(f == 1 ? CurveB : CurveA);
        pattern->AddPatternFrame(std::move(frame));
    }
    manager.Patterns.push_back(std::move(pattern));
    manager.SetIndex(0);
    WhenShown([](TFPatternEdit& form) {
        // Every frame shows in its slot; the first is on the layer.
        EXPECT_NE(Slot(form, 0), Slot(form, 3));
        EXPECT_EQ(Slot(form, 3), Slot(form, 4));
        ASSERT_EQ(form.Layer->Count(), 1);
        EXPECT_EQ(form.Layer->GetPolyBeziers(0)->GetBezier(0), CurveA);

        ClickSlot(form, 2);
        EXPECT_EQ(form.CurrentFrame, 2);
        EXPECT_EQ(form.Bevels[2]->frameShadow(), QFrame::Sunken);
        EXPECT_EQ(form.Bevels[0]->frameShadow(), QFrame::Raised);
        const auto slot0 = Slot(form, 0), slot1 = Slot(form, 1), slot2 = Slot(form, 2);
        const auto slot3 = Slot(form, 3), slot4 = Slot(form, 4);

        form.btAddCurve->click();
        EXPECT_EQ(form.ActiveController, form.AddCurveController.get());
        EXPECT_EQ(form.ImgView->View().Cursor(), crCross);
        Trace(form, {{30, 100}, {60, 110}, {90, 130}, {120, 120}, {150, 100}});
        ASSERT_EQ(form.Pattern->GetFrames(2).Count(), 2);
        const TBezierCurve drawn = form.Pattern->GetFrames(2).GetCurves(1);
        EXPECT_EQ(drawn.P0, Point(30, 100));
        EXPECT_EQ(drawn.P3, Point(150, 100));
        EXPECT_NE(Slot(form, 2), slot2);
        EXPECT_EQ(Slot(form, 0), slot0);
        EXPECT_EQ(Slot(form, 1), slot1);
        EXPECT_EQ(Slot(form, 3), slot3);
        EXPECT_EQ(Slot(form, 4), slot4);
        EXPECT_EQ(form.Pattern->GetFrames(0).Count(), 1);
        EXPECT_EQ(form.Pattern->GetFrames(3).Count(), 0);
        form.btAccept->click();
    });
    EXPECT_TRUE(manager.Edit());
    TPattern& edited = manager.Current();
    ASSERT_FALSE(edited.FileName.empty());
    TPattern reread;
    reread.LoadFromFile(edited.FileName);
    ASSERT_EQ(reread.FrameCount(), 3); // the empty frames are dropped on reading
    EXPECT_EQ(reread.GetFrames(2).Count(), 2);
}

TEST(PatternEditTest, SwitchingFramesKeepsTheirCurvesAndThePointerDragsThem) {
    TPatternFiles files;
    TPatternManager manager;
    auto pattern = std::make_unique<TPattern>();
    auto frame = std::make_unique<TPatternFrame>();
    frame->AddCurve(CurveA);
    frame->AddCurve(CurveB);
    pattern->AddPatternFrame(std::move(frame));
    manager.Patterns.push_back(std::move(pattern));
    manager.SetIndex(0);
    WhenShown([](TFPatternEdit& form) {
        ClickSlot(form, 1);
        EXPECT_EQ(form.Layer->Count(), 0);
        ClickSlot(form, 0);
        ASSERT_EQ(form.Layer->Count(), 2);
        EXPECT_EQ(form.Layer->GetPolyBeziers(0)->SegmentCount(), 1);
        EXPECT_EQ(form.Pattern->GetFrames(0).GetCurves(0), CurveA);
        EXPECT_EQ(form.Pattern->GetFrames(0).GetCurves(1), CurveB);

        // The pointer takes the end of the second curve and drags it.
        Trace(form, {{160, 170}, {165, 175}, {170, 180}});
        EXPECT_EQ(form.Pattern->GetFrames(0).GetCurves(1).P3, Point(170, 180));
        EXPECT_EQ(form.Pattern->GetFrames(0).GetCurves(0), CurveA);

        // A shape with a line and a cubic is stored as two curves.
        TPolyBezier* shape = form.Layer->GetPolyBeziers(0);
        TPolyBezierSegment line;
        line.Kind = skLine;
        line.SetC1(Point(200, 60));
        shape->AddSegment(line);
        shape->Changed();
        ASSERT_EQ(form.Pattern->GetFrames(0).Count(), 3);
        const TBezierCurve asCurve = form.Pattern->GetFrames(0).GetCurves(1);
        EXPECT_EQ(asCurve.P0, Point(180, 40));
        EXPECT_EQ(asCurve.C1, Point(190, 50));
        EXPECT_EQ(asCurve.P3, Point(200, 60));
    });
    EXPECT_FALSE(manager.Edit());
    // Cancel gives the pattern back its curves, which the Pattern tool draws with.
    ASSERT_EQ(manager.Current().GetFrames(0).Count(), 2);
    EXPECT_EQ(manager.Current().GetFrames(0).GetCurves(0), CurveA);
    EXPECT_EQ(manager.Current().GetFrames(0).GetCurves(1), CurveB);
    EXPECT_TRUE(manager.Current().FileName.empty());
}

TEST(PatternEditTest, APatternOfSixFramesShowsItsFirstFive) {
    TPattern pattern;
    for (int f = 0; f < 6; ++f) {
        auto frame = std::make_unique<TPatternFrame>();
        frame->AddCurve(f == 5 ? CurveB : CurveA);
        pattern.AddPatternFrame(std::move(frame));
    }
    TFPatternEdit form;
    form.Pattern = &pattern;
    form.show();
    EXPECT_EQ(form.CurrentFrame, 0);
    EXPECT_EQ(Slot(form, 4), Slot(form, 0));
    form.hide();
    EXPECT_EQ(pattern.FrameCount(), 6);
    EXPECT_EQ(pattern.GetFrames(5).GetCurves(0), CurveB);
}
