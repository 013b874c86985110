// SPDX-License-Identifier: GPL-3.0-or-later
// The tools on a real drawing: the tool manager routes the views' events to the selected
// controller, which sprays, traces bands and curves and drags points; every gesture that opens
// a change of the drawing closes it.
#include "app/Tools.h"
#include "app/InputController.h"

#include "document/DualImage.h"
#include "document/QStates.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Random.h"
#include "presets/PolyBezier.h"
#include "presets/PolyBezierLayer.h"
#include "tests/app/SmallPhoto.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {
// Two views as the main window shows them, with a drawing and its tool manager over them.
struct TDesk {
    TImgView32Widget SrcWidget;
    TImgView32Widget DstWidget;
    std::unique_ptr<TDualImage> Doc;
    std::unique_ptr<TToolManager> Tools;
    int Changes = 0;
    TPoint Screen{500, 500};

    TDesk() {
        SetScreenCursorPosHook([this] { return Screen; });
        for (TImgView32Widget* w : {&SrcWidget, &DstWidget}) {
            w->resize(240, 180); // larger than the picture: the bitmap sits centred
            w->show();
        }
        SmallPhoto(Src().Bitmap);
        Dst().Bitmap.SetSize(SmallPhotoWidth, SmallPhotoHeight);
        Dst().Bitmap.Clear(clWhite32);
        Src().Changed();
        Dst().Changed();
        Doc = std::make_unique<TDualImage>(&Src(), &Dst(), 1.0f, nullptr, nullptr, nullptr);
        Doc->SetOnChange([this](void*) { ++Changes; });
        Doc->SetBrdLimit(100); // strokes start everywhere
        Doc->SetSize(20);
        Doc->SetDensity(10);
        Doc->SetLength(30);
        Tools = std::make_unique<TToolManager>(Doc.get());
    }
    ~TDesk() {
        Tools.reset();
        Doc.reset();
        SetScreenCursorPosHook(nullptr);
    }

    TImgView32& Src() { return SrcWidget.View(); }
    TImgView32& Dst() { return DstWidget.View(); }
    // A client position of a view where the bitmap pixel (X, Y) lies.
    static QPoint At(TImgView32& View, int X, int Y) {
        const TPoint p = View.BitmapToControl(Point(X, Y));
        return QPoint(p.X, p.Y);
    }
};

void Mouse(QWidget* W, QEvent::Type Type, QPoint P, Qt::MouseButton Button, Qt::MouseButtons Held,
           Qt::KeyboardModifiers Mods = Qt::NoModifier) {
    QMouseEvent e(Type, QPointF(P), W->mapToGlobal(QPointF(P)), Button, Held, Mods);
    QApplication::sendEvent(W, &e);
}

void Press(TImgView32Widget& W, QPoint P) {
    Mouse(W.viewport(), QEvent::MouseButtonPress, P, Qt::LeftButton, Qt::LeftButton);
}
void Drag(TImgView32Widget& W, QPoint P) {
    Mouse(W.viewport(), QEvent::MouseMove, P, Qt::NoButton, Qt::LeftButton);
}
void Hover(TImgView32Widget& W, QPoint P) {
    Mouse(W.viewport(), QEvent::MouseMove, P, Qt::NoButton, Qt::NoButton);
}
void Release(TImgView32Widget& W, QPoint P) {
    Mouse(W.viewport(), QEvent::MouseButtonRelease, P, Qt::LeftButton, Qt::NoButton);
}
// The same with Shift held, as the mouse reports it.
void ShiftHover(TImgView32Widget& W, QPoint P) {
    Mouse(W.viewport(), QEvent::MouseMove, P, Qt::NoButton, Qt::NoButton, Qt::ShiftModifier);
}
void ShiftPress(TImgView32Widget& W, QPoint P) {
    Mouse(W.viewport(), QEvent::MouseButtonPress, P, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
}
void ShiftRelease(TImgView32Widget& W, QPoint P) {
    Mouse(W.viewport(), QEvent::MouseButtonRelease, P, Qt::LeftButton, Qt::NoButton, Qt::ShiftModifier);
}
void Key(QWidget* W, QEvent::Type Type, int K) {
    QKeyEvent e(Type, K, Type == QEvent::KeyPress ? Qt::ShiftModifier : Qt::NoModifier);
    QApplication::sendEvent(W, &e);
}
void Wheel(TImgView32Widget& W, int Notches) {
    const QPoint p(20, 20);
    QWheelEvent e(QPointF(p), W.viewport()->mapToGlobal(QPointF(p)), QPoint(), QPoint(0, 120 * Notches),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(W.viewport(), &e);
}

std::vector<uint8_t> Bytes(const TBitmap32& B) {
    const auto* p = reinterpret_cast<const uint8_t*>(B.Bits());
    return {p, p + static_cast<size_t>(B.Width()) * B.Height() * 4};
}
} // namespace

TEST(ToolManagerTest, SelectingToolsSwitchesTheDrawingsModeCursorAndCurveEditing) {
    TDesk desk;
    TToolManager& tools = *desk.Tools;
    EXPECT_EQ(tools.Tool, tiNone);
    EXPECT_EQ(tools.Current(), nullptr);

    tools.SetTool(tiPattern);
    EXPECT_FALSE(desk.Doc->AutoMode());
    EXPECT_EQ(desk.Doc->CursorMode(), cuCircle);
    EXPECT_FALSE(desk.Doc->CurveLayer().Layer->MouseEvents());
    tools.SetTool(tiAutoSketch);
    EXPECT_TRUE(desk.Doc->AutoMode());
    EXPECT_EQ(desk.Src().Cursor(), crCross);
    tools.SetTool(tiPattern);
    EXPECT_FALSE(desk.Doc->AutoMode());

    // "What is this?" leaves no tool, and no brush frozen on the picture; Auto-sketch afterwards
    // is activated afresh.
    tools.SetTool(tiNone);
    EXPECT_EQ(desk.Doc->CursorMode(), cuHidden);
    desk.Doc->SetAutoMode(false);
    tools.SetTool(tiAutoSketch);
    EXPECT_TRUE(desk.Doc->AutoMode());
    EXPECT_EQ(desk.Doc->CursorMode(), cuCircle);

    tools.SetTool(tiFreeHand);
    EXPECT_EQ(desk.Doc->CursorMode(), cuCross);
    EXPECT_TRUE(desk.Doc->CurveLayer().Layer->MouseEvents());
    tools.SetTool(tiPointer);
    EXPECT_EQ(desk.Doc->CursorMode(), cuHidden);
    EXPECT_EQ(desk.Src().Cursor(), crDefault);
    EXPECT_EQ(tools.Current(), &tools.PointerController());

    try {
        tools.SetTool(static_cast<TToolId>(6));
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Tool not implemented");
    }
    EXPECT_EQ(tools.Tool, 6);
    EXPECT_EQ(tools.Current(), &tools.PointerController());
}

TEST(ToolManagerTest, AnAutoSketchGestureIsOneUndoStep) {
    TDesk desk;
    desk.Tools->SetTool(tiAutoSketch);
    RandSeed = 7;
    Press(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    EXPECT_EQ(desk.Doc->ChangeNesting(), 1);
    for (int x = 62; x < 120; x += 6)
        Drag(desk.SrcWidget, TDesk::At(desk.Src(), x, 70));
    Release(desk.SrcWidget, TDesk::At(desk.Src(), 120, 70));
    EXPECT_EQ(desk.Doc->ChangeNesting(), 0);
    EXPECT_EQ(desk.Doc->History().Count(), 1);
    EXPECT_GT(desk.Doc->StrokeCount(), 0);
    EXPECT_EQ(desk.Changes, 1);
    // The moves told the drawing where its brush cursor is, in the view's client pixels.
    const QPoint last = TDesk::At(desk.Src(), 116, 70);
    EXPECT_EQ(desk.Doc->CursorPos(), Point(last.x(), last.y()));

    // Moves without a button lay nothing.
    Hover(desk.SrcWidget, TDesk::At(desk.Src(), 30, 30));
    EXPECT_EQ(desk.Doc->History().Count(), 1);
}

TEST(ToolManagerTest, ADragOverTheDrawingDrawsWhereTheSameDragOverThePhotoDraws) {
    auto gesture = [](bool OnDestination) {
        TDesk desk;
        desk.Tools->SetTool(tiAutoSketch);
        TImgView32Widget& widget = OnDestination ? desk.DstWidget : desk.SrcWidget;
        TImgView32& view = widget.View();
        RandSeed = 99;
        Hover(widget, TDesk::At(view, 40, 40));
        Press(widget, TDesk::At(view, 40, 40));
        Drag(widget, TDesk::At(view, 90, 80));
        Release(widget, TDesk::At(view, 90, 80));
        EXPECT_EQ(desk.Doc->ActiveView(), &view);
        EXPECT_EQ(desk.Doc->History().Count(), 1);
        return Bytes(desk.Doc->DestBitmap());
    };
    EXPECT_EQ(gesture(false), gesture(true));
}

TEST(ToolManagerTest, ShiftSetsTheBrushRadiusAndKeepsTheToolOut) {
    TDesk desk;
    desk.Tools->SetTool(tiAutoSketch);
    desk.Screen = Point(300, 200);
    Key(&desk.SrcWidget, QEvent::KeyPress, Qt::Key_Shift);
    EXPECT_TRUE(desk.Tools->AutoController().ShiftDown());
    EXPECT_EQ(desk.Tools->AutoController().SavedCursorPos(), Point(300, 200));

    // An auto-repeated Shift keeps the first position.
    desk.Screen = Point(10, 10);
    Key(&desk.SrcWidget, QEvent::KeyPress, Qt::Key_Shift);
    EXPECT_EQ(desk.Tools->AutoController().SavedCursorPos(), Point(300, 200));

    desk.Screen = Point(420, 200);
    ShiftHover(desk.SrcWidget, QPoint(50, 50));
    EXPECT_EQ(desk.Doc->Size(), 120);
    // Up to 500 by Shift, which the wheel never reaches.
    desk.Screen = Point(300, 700);
    ShiftHover(desk.SrcWidget, QPoint(50, 50));
    EXPECT_EQ(desk.Doc->Size(), 500);

    // Neither press nor release reaches the tool: no change opens, nothing is drawn.
    ShiftPress(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    EXPECT_EQ(desk.Doc->ChangeNesting(), 0);
    ShiftRelease(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    EXPECT_EQ(desk.Doc->History().Count(), 0);
    EXPECT_EQ(desk.Changes, 0);

    Key(&desk.SrcWidget, QEvent::KeyRelease, Qt::Key_Shift);
    EXPECT_FALSE(desk.Tools->AutoController().ShiftDown());
    // The release of a press that Shift dropped closes nothing.
    Release(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    EXPECT_EQ(desk.Doc->ChangeNesting(), 0);

    // Shift let go while another window had the keyboard: the release never comes, and the
    // next mouse event, which finds Shift up, gives the tool back instead of resizing the brush.
    Key(&desk.SrcWidget, QEvent::KeyPress, Qt::Key_Shift);
    desk.Screen = Point(310, 700);
    Hover(desk.SrcWidget, QPoint(50, 50));
    EXPECT_FALSE(desk.Tools->AutoController().ShiftDown());
    EXPECT_EQ(desk.Doc->Size(), 500);
    Press(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    EXPECT_EQ(desk.Doc->ChangeNesting(), 1);
    Release(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    EXPECT_EQ(desk.Doc->ChangeNesting(), 0);
}

TEST(ToolManagerTest, AGestureClosesItsChangeWhateverHappensBeforeTheRelease) {
    TDesk desk;
    desk.Tools->SetTool(tiPattern);
    // Shift going down in the middle of a gesture: the release still closes the change.
    Press(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    Key(&desk.SrcWidget, QEvent::KeyPress, Qt::Key_Shift);
    ShiftRelease(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    EXPECT_EQ(desk.Doc->ChangeNesting(), 0);
    Key(&desk.SrcWidget, QEvent::KeyRelease, Qt::Key_Shift);

    // The tool switched by a key in the middle of a gesture: the old tool closes its change, and
    // the release that follows reaches a tool that began nothing.
    desk.Tools->SetTool(tiAutoSketch);
    Press(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    desk.Tools->SetTool(tiPointer);
    EXPECT_EQ(desk.Doc->ChangeNesting(), 0);
    EXPECT_EQ(desk.Doc->History().Count(), 1);
    Release(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    EXPECT_EQ(desk.Doc->ChangeNesting(), 0);

    // A release without a press (the button went down elsewhere) ends nothing.
    desk.Tools->SetTool(tiAutoSketch);
    desk.Doc->BeginChange();
    Release(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    EXPECT_EQ(desk.Doc->ChangeNesting(), 1);
    desk.Doc->EndChange();

    // A second button during a drag opens no second change.
    Press(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    Mouse(desk.SrcWidget.viewport(), QEvent::MouseButtonPress, TDesk::At(desk.Src(), 60, 60), Qt::RightButton,
          Qt::LeftButton | Qt::RightButton);
    Mouse(desk.SrcWidget.viewport(), QEvent::MouseButtonRelease, TDesk::At(desk.Src(), 60, 60),
          Qt::RightButton, Qt::LeftButton);
    Release(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    EXPECT_EQ(desk.Doc->ChangeNesting(), 0);
}

TEST(ToolManagerTest, ShiftStateOfAToolLeftWhileShiftWasHeldIsForgotten) {
    TDesk desk;
    desk.Tools->SetTool(tiAutoSketch);
    Key(&desk.SrcWidget, QEvent::KeyPress, Qt::Key_Shift);
    desk.Tools->SetTool(tiPattern); // the Shift release goes to the Pattern tool
    Key(&desk.SrcWidget, QEvent::KeyRelease, Qt::Key_Shift);
    desk.Tools->SetTool(tiAutoSketch);
    EXPECT_FALSE(desk.Tools->AutoController().ShiftDown());
    Press(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    EXPECT_EQ(desk.Doc->ChangeNesting(), 1);
    Release(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
}

TEST(ToolManagerTest, TheWheelGrowsAndShrinksTheBrushWithinItsBounds) {
    TDesk desk;
    desk.Tools->SetTool(tiAutoSketch);
    desk.Doc->SetSize(8);
    Wheel(desk.SrcWidget, -1); // toward the user
    EXPECT_EQ(desk.Doc->Size(), 8);
    Wheel(desk.SrcWidget, 3);
    EXPECT_EQ(desk.Doc->Size(), 11);
    desk.Doc->SetSize(399);
    Wheel(desk.SrcWidget, 2);
    EXPECT_EQ(desk.Doc->Size(), 400);
    Wheel(desk.SrcWidget, -1);
    EXPECT_EQ(desk.Doc->Size(), 399);
    // Only the photo's view takes the wheel.
    Wheel(desk.DstWidget, -1);
    EXPECT_EQ(desk.Doc->Size(), 399);
}

TEST(ToolManagerTest, TheBrushMarkLeavesWithThePointerAndComesBackWhereItReturns) {
    TDesk desk;
    // The cross is white: on grey paper it shows over the drawing too.
    desk.Dst().Bitmap.Clear(0xFF808080);
    desk.Dst().Changed();
    // What a view shows without a brush mark; the pointer tool has none.
    auto painted = [](TImgView32& View) {
        View.UpdateBuffer();
        return Bytes(View.Buffer);
    };
    auto bare = [&](TImgView32& View) {
        const TToolId tool = static_cast<TToolId>(desk.Tools->Tool);
        desk.Tools->SetTool(tiPointer);
        const auto bytes = painted(View);
        desk.Tools->SetTool(tool);
        return bytes;
    };
    for (const TToolId tool : {tiAutoSketch, tiFreeHand}) {
        SCOPED_TRACE(tool == tiAutoSketch ? "circle" : "cross");
        desk.Tools->SetTool(tool);
        Hover(desk.SrcWidget, QPoint(100, 90));
        const auto there = painted(desk.Src());
        EXPECT_NE(there, bare(desk.Src()));
        // Out of the view (to its scroll bars, another control or another window).
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(desk.SrcWidget.viewport(), &leave);
        EXPECT_EQ(painted(desk.Src()), bare(desk.Src()));
        // Back in elsewhere: drawn there.
        Hover(desk.SrcWidget, QPoint(60, 120));
        const auto back = painted(desk.Src());
        EXPECT_NE(back, bare(desk.Src()));
        EXPECT_NE(back, there);
        // Over the drawing the mark moves there; leaving the photo afterwards changes nothing.
        Hover(desk.DstWidget, QPoint(100, 90));
        EXPECT_NE(painted(desk.Dst()), bare(desk.Dst()));
        QApplication::sendEvent(desk.SrcWidget.viewport(), &leave);
        EXPECT_NE(painted(desk.Dst()), bare(desk.Dst()));
        // A new size puts the pointer elsewhere in the view: no mark until it moves.
        desk.DstWidget.resize(260, 200);
        EXPECT_EQ(painted(desk.Dst()), bare(desk.Dst()));
        Hover(desk.DstWidget, QPoint(100, 90));
        EXPECT_NE(painted(desk.Dst()), bare(desk.Dst()));
        desk.DstWidget.resize(240, 180);
        Hover(desk.SrcWidget, QPoint(100, 90));
    }
}

TEST(ToolManagerTest, DisabledRoutingStillPassesTheKeys) {
    TDesk desk;
    desk.Tools->SetTool(tiAutoSketch);
    desk.Tools->SetEnabled(false);
    Press(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    Release(desk.SrcWidget, TDesk::At(desk.Src(), 60, 60));
    Wheel(desk.SrcWidget, 1);
    EXPECT_EQ(desk.Doc->History().Count(), 0);
    EXPECT_EQ(desk.Doc->Size(), 20);
    Key(&desk.SrcWidget, QEvent::KeyPress, Qt::Key_Shift);
    EXPECT_TRUE(desk.Tools->AutoController().ShiftDown());
    Key(&desk.SrcWidget, QEvent::KeyRelease, Qt::Key_Shift);
    EXPECT_FALSE(desk.Tools->AutoController().ShiftDown());
}

TEST(ToolManagerTest, TheBandFollowsTheTracedPathAndIsFilledOnRelease) {
    TDesk desk;
    desk.Tools->SetTool(tiFreeHand);
    TPolyBezierLayer& layer = desk.Doc->CurveLayer();
    Press(desk.SrcWidget, TDesk::At(desk.Src(), 30, 40));
    ASSERT_EQ(layer.Count(), 1);
    TPolyBezier* band = layer.Current();
    EXPECT_EQ(band->BandWidth, 20.0f);
    EXPECT_EQ(band->Origin, Point(30, 40));

    // Fewer than three points: the end (and the controls, straightened) at the mouse.
    Drag(desk.SrcWidget, TDesk::At(desk.Src(), 50, 40));
    Drag(desk.SrcWidget, TDesk::At(desk.Src(), 70, 44));
    EXPECT_EQ(band->Segments[0].End(), Point(70, 44));
    EXPECT_EQ(band->Segments[0].C1(), Point(50, 42));

    // Seven points: the handles at points 2, 4 and 6.
    const TPoint path[5] = {{90, 50}, {110, 60}, {130, 70}, {150, 80}, {170, 90}};
    for (const TPoint& p : path)
        Drag(desk.SrcWidget, TDesk::At(desk.Src(), p.X, p.Y));
    EXPECT_EQ(band->Segments[0].C1(), Point(90, 50));
    EXPECT_EQ(band->Segments[0].C2(), Point(130, 70));
    EXPECT_EQ(band->Segments[0].End(), Point(170, 90));
    EXPECT_EQ(desk.Doc->ChangeNesting(), 1);

    Release(desk.SrcWidget, TDesk::At(desk.Src(), 170, 90));
    EXPECT_EQ(layer.Count(), 0);
    EXPECT_FALSE(layer.Capturing);
    EXPECT_EQ(desk.Doc->ChangeNesting(), 0);
    EXPECT_EQ(desk.Doc->History().Count(), 1);
    EXPECT_GT(desk.Doc->StrokeCount(), 0);
}

TEST(ToolManagerTest, ABandThatCannotBeFilledStillClosesItsChange) {
    TDesk desk;
    desk.Tools->SetTool(tiFreeHand);
    Press(desk.SrcWidget, TDesk::At(desk.Src(), 30, 40));
    // The filling takes only one-segment shapes and stops silently at any other.
    desk.Doc->CurveLayer().Current()->AddBezier(Point(60, 60), Point(70, 70), Point(80, 80));
    Drag(desk.SrcWidget, TDesk::At(desk.Src(), 50, 40));
    Release(desk.SrcWidget, TDesk::At(desk.Src(), 50, 40));
    EXPECT_EQ(desk.Doc->ChangeNesting(), 0);
    EXPECT_EQ(desk.Doc->CurveLayer().Count(), 0);
    EXPECT_FALSE(desk.Doc->CurveLayer().Capturing);
}

TEST(ToolManagerTest, ThePointerDragsThePointItHit) {
    TDesk desk;
    // A curve drawn with the add-curve tool, which no command offers.
    desk.Tools->SetTool(tiAddCurve);
    Press(desk.SrcWidget, TDesk::At(desk.Src(), 20, 20));
    Drag(desk.SrcWidget, TDesk::At(desk.Src(), 60, 30));
    Release(desk.SrcWidget, TDesk::At(desk.Src(), 60, 30));
    TPolyBezierLayer& layer = desk.Doc->CurveLayer();
    ASSERT_EQ(layer.Count(), 1);
    EXPECT_EQ(layer.Current()->Segments[0].End(), Point(60, 30));
    EXPECT_FALSE(layer.Capturing);
    EXPECT_EQ(desk.Doc->History().Count(), 0);

    desk.Tools->SetTool(tiPointer);
    Press(desk.SrcWidget, TDesk::At(desk.Src(), 61, 31));
    EXPECT_TRUE(desk.Tools->PointerController().Dragging());
    Drag(desk.SrcWidget, TDesk::At(desk.Src(), 100, 90));
    Release(desk.SrcWidget, TDesk::At(desk.Src(), 100, 90));
    EXPECT_EQ(layer.Current()->Segments[0].End(), Point(100, 90));
    EXPECT_EQ(layer.Current()->Origin, Point(20, 20));

    // A press away from every point drags nothing.
    Press(desk.SrcWidget, TDesk::At(desk.Src(), 150, 130));
    EXPECT_FALSE(desk.Tools->PointerController().Dragging());
    Release(desk.SrcWidget, TDesk::At(desk.Src(), 150, 130));
}

TEST(ToolManagerTest, AClosedDrawingsViewsReachNoTool) {
    TDesk desk;
    desk.Tools->SetTool(tiAutoSketch);
    desk.Tools.reset();
    desk.Doc.reset();
    Press(desk.SrcWidget, QPoint(60, 60));
    Drag(desk.SrcWidget, QPoint(70, 60));
    Release(desk.SrcWidget, QPoint(70, 60));
    Wheel(desk.SrcWidget, 1);
    Key(&desk.SrcWidget, QEvent::KeyPress, Qt::Key_Shift);
    SUCCEED();
}

TEST(InputControllerTest, LayerOnlyControllersDrawAndDragCurvesWithoutADrawing) {
    TImgView32 view;
    view.Bitmap.SetSize(210, 210);
    view.SetViewportSize(210, 210);
    TPolyBezierLayer layer(&view);
    TAddCurveInputController add(&layer);
    TPointerInputController pointer(&layer);
    EXPECT_EQ(add.Document(), nullptr);
    EXPECT_EQ(add.CursorMode(), cuHidden);

    add.Activate();
    add.MouseDown(&view, mbLeft, 0, 10, 10, layer.Layer);
    EXPECT_TRUE(layer.Capturing);
    for (int i = 1; i <= 6; ++i)
        add.MouseMove(&view, ssLeft, 10 + 10 * i, 10 + 5 * i, layer.Layer);
    add.MouseUp(&view, mbLeft, 0, 70, 40, layer.Layer);
    ASSERT_EQ(layer.Count(), 1);
    const TPolyBezierSegment s = layer.GetPolyBeziers(0)->Segments[0];
    EXPECT_EQ(s.C1(), Point(40, 25));
    EXPECT_EQ(s.C2(), Point(50, 30)); // six points: 2 and 3 of 0..5
    EXPECT_EQ(s.End(), Point(70, 40));
    EXPECT_FALSE(layer.Capturing);
    // The wheel and Shift need a drawing: nothing happens.
    bool handled = false;
    add.MouseWheelUp(&view, 0, Point(0, 0), handled);
    add.Deactivate();

    pointer.Activate();
    TCustomLayer* hit = view.Layers().MouseDown(10, 10);
    pointer.MouseDown(&view, mbLeft, 0, 10, 10, hit);
    ASSERT_TRUE(pointer.Dragging());
    pointer.MouseMove(&view, ssLeft, 15, 12, hit);
    pointer.MouseUp(&view, mbLeft, 0, 15, 12, hit);
    view.Layers().MouseUp(15, 12);
    EXPECT_EQ(layer.GetPolyBeziers(0)->Origin, Point(15, 12));
    EXPECT_EQ(layer.GetPolyBeziers(0)->Segments[0].End(), Point(70, 40));
}
