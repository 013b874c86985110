// SPDX-License-Identifier: GPL-3.0-or-later
// The brush as the user meets it in the main window: the size set by the box, the wheel or Shift
// stays and the Size box shows it; the brush mark follows the pointer into the views and leaves
// with it; Esc ends "What is this?".
#include "app/HlpWnd.h"
#include "app/InputController.h"
#include "app/Tools.h"
#include "controls/QuickValue.h"
#include "controls/UPickPct.h"
#include "document/QStates.h"
#include "platform/rtl/Random.h"
#include "tests/app/ShellFixture.h"

#include <QComboBox>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include <functional>
#include <utility>

namespace {

class BrushAndPointer : public TShellTest {
protected:
    void SetUp() override {
        TShellTest::SetUp();
        SetScreenCursorPosHook([this] { return Screen; });
        FMain->resize(1000, 760);
        FMain->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(FMain));
    }
    void TearDown() override {
        FMain->hide();
        SetScreenCursorPosHook(nullptr);
        TShellTest::TearDown();
    }

    static void Mouse(QWidget* W, QEvent::Type Type, QPoint P, Qt::MouseButton Button, Qt::MouseButtons Held,
                      Qt::KeyboardModifiers Mods = Qt::NoModifier) {
        QMouseEvent e(Type, QPointF(P), W->mapToGlobal(QPointF(P)), Button, Held, Mods);
        QApplication::sendEvent(W, &e);
    }
    static void Key(QWidget* W, QEvent::Type Type, int K, Qt::KeyboardModifiers Mods) {
        QKeyEvent e(Type, K, Mods);
        QApplication::sendEvent(W, &e);
    }
    static void Wheel(QWidget* W, int Notches) {
        const QPoint p(40, 40);
        QWheelEvent e(QPointF(p), W->mapToGlobal(QPointF(p)), QPoint(), QPoint(0, 120 * Notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(W, &e);
    }
    // The photo view's viewport at a client point.
    QWidget* Src() const { return FMain->ImgSrc->viewport(); }

    // Expects the drawing's brush and the Size box to agree on Size.
    void ExpectBrush(int Size, const std::string& When) const {
        EXPECT_EQ(Domain->Document->Size(), Size) << When;
        EXPECT_EQ(FMain->qvSize->Position(), Size) << When;
        EXPECT_EQ(FMain->qvSize->Text(), std::to_string(Size) + " pixels") << When;
    }

    TPoint Screen{400, 400};
};

TEST_F(BrushAndPointer, TheBrushSizeStaysHoweverItWasSetAndTheBoxShowsIt) {
    ASSERT_TRUE(Open(MakePicture(300, 220)));
    Domain->AutoDirCommand->trigger();

    // The box.
    FMain->qvSize->SetPosition(120);
    FMain->qvSize->OnChangePos(nullptr);
    ExpectBrush(120, "box");

    // The wheel, past the old box's largest value. It draws no random numbers: the strokes of
    // the next gesture are the ones they would have been without it.
    // The preview follows at once, and gives its numbers back.
    const uint32_t seed = RandSeed;
    const TBitmap32& preview = FMain->ImgSize->Image().Bitmap;
    const std::vector<uint32_t> before(preview.Bits(), preview.Bits() + preview.Width() * preview.Height());
    Wheel(Src(), 40);
    EXPECT_EQ(RandSeed, seed);
    ExpectBrush(160, "wheel up");
    EXPECT_NE(std::vector<uint32_t>(preview.Bits(), preview.Bits() + preview.Width() * preview.Height()),
              before);
    Wheel(Src(), -3);
    ExpectBrush(157, "wheel down");

    // Shift held and the mouse moved 300 screen pixels away.
    Key(Src(), QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    Screen = Point(400, 700);
    Mouse(Src(), QEvent::MouseMove, QPoint(60, 60), Qt::NoButton, Qt::NoButton, Qt::ShiftModifier);
    Key(Src(), QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
    ExpectBrush(300, "Shift-drag");

    // A gesture, whose end refreshes every panel from the drawing.
    const QPoint at(80, 80);
    Mouse(Src(), QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    Mouse(Src(), QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    for (int k = 1; k <= 8; ++k)
        Mouse(Src(), QEvent::MouseMove, at + QPoint(10 * k, 5 * k), Qt::LeftButton, Qt::LeftButton);
    Mouse(Src(), QEvent::MouseButtonRelease, at + QPoint(80, 40), Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(Domain->Document->History().Count(), 1);
    ExpectBrush(300, "gesture");
    // The refreshed preview shows the brush too large for its box as a percentage at the top left.
    int text = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 30; ++x)
            if ((preview.Pixel(x, y) & 0xFF) < 100) ++text;
    EXPECT_GT(text, 5);

    Domain->UndoCommand->trigger();
    ExpectBrush(300, "undo");

    const int other = FMain->cbStyles->currentIndex() == 0 ? 1 : 0;
    FMain->cbStyles->setCurrentIndex(other);
    emit FMain->cbStyles->activated(other);
    ExpectBrush(300, "another style");

    // The smallest brush the drawing takes shows too.
    Wheel(Src(), -400);
    ExpectBrush(8, "wheel to the smallest");
}

// The Size and Density boxes take each end of their range, and the drawing with them; a value
// one past an end is refused and leaves the box and the drawing as they were.
TEST_F(BrushAndPointer, TheBrushBoxesTakeTheEndsOfTheirRangeAndNothingPast) {
    ASSERT_TRUE(Open(MakePicture(300, 220)));
    Domain->AutoDirCommand->trigger();
    const struct {
        const char* Name;
        TQuickValue* Box;
        int Min, Max;
        std::function<int()> Drawing;
    } boxes[] = {{"Size", FMain->qvSize, 8, 500, [] { return Domain->Document->Size(); }},
                 {"Density", FMain->qvDensity, 5, 200, [] { return Domain->Document->Density(); }}};
    for (const auto& b : boxes) {
        EXPECT_EQ(b.Box->Min(), b.Min) << b.Name;
        EXPECT_EQ(b.Box->Max(), b.Max) << b.Name;
        for (const auto& [value, shown] :
             {std::pair{b.Min, b.Min}, {b.Min - 1, b.Min}, {b.Max, b.Max}, {b.Max + 1, b.Max}}) {
            b.Box->SetPosition(value);
            b.Box->OnChangePos(nullptr);
            EXPECT_EQ(b.Box->Position(), shown) << b.Name << " set to " << value;
            EXPECT_EQ(b.Drawing(), shown) << b.Name << " set to " << value;
        }
    }
}

// The tool buttons show the selected tool whichever way it was chosen: a button, a key, the
// menu; "?" while "What is this?" waits for its click, and none when no tool is selected.
TEST_F(BrushAndPointer, TheToolButtonsShowTheSelectedToolHoweverItWasChosen) {
    ASSERT_TRUE(Open(MakePicture(300, 220)));
    auto down = [] {
        std::string names;
        for (QToolButton* b : {FMain->btPtr, FMain->btAuto, FMain->btPat, FMain->btFree, FMain->btHelp})
            if (b->isChecked()) names += (names.empty() ? "" : " ") + b->objectName().toStdString();
        return names;
    };
    QAction* whatIsThis = nullptr;
    for (QAction* menu : FMain->menuBar()->actions())
        if (menu->text() == QStringLiteral("&Help"))
            for (QAction* item : menu->menu()->actions())
                if (item->text() == QStringLiteral("What is this?")) whatIsThis = item;
    ASSERT_NE(whatIsThis, nullptr);
    auto press = [](int K) { QTest::keyClick(FMain->cbStyles, static_cast<Qt::Key>(K)); };

    EXPECT_EQ(down(), "Pointer") << "after the load";
    QTest::mouseClick(FMain->btAuto, Qt::LeftButton);
    EXPECT_EQ(down(), "AutoDir") << "button";
    whatIsThis->trigger();
    EXPECT_EQ(Domain->ToolManager->Tool, tiNone);
    EXPECT_EQ(down(), "ContextHelp") << "menu";
    press(Qt::Key_Escape);
    EXPECT_EQ(down(), "") << "Esc";
    press(Qt::Key_F);
    EXPECT_EQ(down(), "FreeHand") << "key F";
    QTest::mouseClick(FMain->btHelp, Qt::LeftButton);
    EXPECT_EQ(down(), "ContextHelp") << "button";
    QTest::mousePress(FMain->ImgDst->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_FALSE(FMain->ContextHelpMode);
    EXPECT_TRUE(FHlpWnd->isVisible());
    EXPECT_EQ(down(), "") << "the help click";
    FHlpWnd->hide();
    press(Qt::Key_T);
    EXPECT_EQ(down(), "Pattern") << "key T";
    // A, with nothing to redo, does nothing.
    press(Qt::Key_A);
    EXPECT_EQ(down(), "Pattern") << "key A";
    // A tool key while "What is this?" waits selects the tool, shown once the wait is over.
    whatIsThis->trigger();
    press(Qt::Key_P);
    EXPECT_EQ(Domain->ToolManager->Tool, tiPointer);
    EXPECT_EQ(down(), "ContextHelp") << "key P in context help";
    press(Qt::Key_Escape);
    EXPECT_EQ(down(), "Pointer") << "Esc after key P";
    // Without a drawing no tool is selected.
    Domain->CloseCommand->trigger();
    EXPECT_EQ(down(), "") << "closed";
    whatIsThis->trigger();
    EXPECT_EQ(down(), "ContextHelp") << "menu without a drawing";
    press(Qt::Key_Escape);
    EXPECT_EQ(down(), "") << "Esc without a drawing";
}

// Holding Shift and moving past either end of the brush's range gives that end.
TEST_F(BrushAndPointer, AShiftMovePastEitherEndGivesThatEnd) {
    ASSERT_TRUE(Open(MakePicture(300, 220)));
    Domain->AutoDirCommand->trigger();
    Key(Src(), QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    const std::pair<TPoint, int> moves[] = {{Point(400, 700), 300},  // 300 pixels away
                                            {Point(901, 400), 500},  // one past the largest
                                            {Point(703, 400), 303},  // back inside the range
                                            {Point(407, 400), 8},    // one under the smallest
                                            {Point(900, 400), 500},  // the largest
                                            {Point(408, 400), 8},    // the smallest
                                            {Point(1400, 900), 500}, // far past the largest
                                            {Point(400, 400), 8}};   // where Shift went down
    for (const auto& [screen, size] : moves) {
        Screen = screen;
        Mouse(Src(), QEvent::MouseMove, QPoint(60, 60), Qt::NoButton, Qt::NoButton, Qt::ShiftModifier);
        ExpectBrush(size, "Shift move to " + std::to_string(screen.X) + ", " + std::to_string(screen.Y));
    }
    Key(Src(), QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
    ExpectBrush(8, "Shift up");
    EXPECT_EQ(Domain->Document->History().Count(), 0);
}

// The Size box's picker opened by a quick click lets go of the window: a pointer passing level
// with its bar sets the brush as it goes, a press in the photo closes it with that size and draws
// nothing, and Esc at a later opening gives the size back. The box, the preview and the drawing
// agree all along.
TEST_F(BrushAndPointer, TheSizePickerClosesOnAPressInThePhotoOrOnEsc) {
    ASSERT_TRUE(Open(MakePicture(300, 220)));
    Domain->AutoDirCommand->trigger();
    TQuickValue* box = FMain->qvSize;
    ASSERT_NE(box->Position(), 254);
    const TBitmap32& bitmap = FMain->ImgSize->Image().Bitmap;
    auto preview = [&] {
        return std::vector<uint32_t>(bitmap.Bits(), bitmap.Bits() + bitmap.Width() * bitmap.Height());
    };
    // As the window system delivers them: to the window, at a point of one of its widgets.
    auto mouse = [](QEvent::Type Type, QWidget* At, QPoint P, Qt::MouseButtons Held) {
        const QPointF p(At->mapTo(FMain, P));
        QMouseEvent e(Type, p, FMain->mapToGlobal(p),
                      Type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Held, Qt::NoModifier);
        QApplication::sendEvent(FMain->windowHandle(), &e);
    };
    auto quickClick = [&](const std::function<void(TFPickPct&)>& WhileOpen) {
        QEnterEvent enter(QPointF(10, 8), box->mapToGlobal(QPointF(10, 8)), box->mapToGlobal(QPointF(10, 8)));
        QApplication::sendEvent(box, &enter);
        QTimer::singleShot(0, [&] {
            TFPickPct& picker = *box->Popup();
            mouse(QEvent::MouseButtonRelease, box, QPoint(10, 8), Qt::NoButton);
            ASSERT_TRUE(picker.isVisible());
            WhileOpen(picker);
            if (picker.isVisible()) {
                ADD_FAILURE() << "picker still open";
                picker.done(0);
            }
        });
        mouse(QEvent::MouseButtonPress, box, QPoint(10, 8), Qt::LeftButton);
    };
    auto level = [](TFPickPct& Picker, int X) {
        const QPointF p(Picker.ClientOrigin() + QPoint(X, 8));
        QMouseEvent e(QEvent::MouseMove, p, Picker.mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
        QApplication::sendEvent(&Picker, &e);
    };

    std::vector<uint32_t> before = preview();
    quickClick([&](TFPickPct& picker) {
        level(picker, 56);
        ExpectBrush(254, "the pointer level with the bar");
        EXPECT_NE(preview(), before);
        mouse(QEvent::MouseButtonPress, Src(), QPoint(80, 80), Qt::LeftButton);
        EXPECT_FALSE(picker.isVisible());
        for (int k = 1; k <= 8; ++k)
            mouse(QEvent::MouseMove, Src(), QPoint(80 + 10 * k, 80 + 5 * k), Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, Src(), QPoint(160, 120), Qt::NoButton);
    });
    ExpectBrush(254, "a press in the photo");
    EXPECT_EQ(Domain->Document->History().Count(), 0);

    quickClick([&](TFPickPct& picker) {
        level(picker, 106);
        ExpectBrush(500, "the pointer past the bar's end");
        before = preview();
        QTest::keyClick(&picker, Qt::Key_Escape);
    });
    ExpectBrush(254, "Esc");
    EXPECT_NE(preview(), before);
}

TEST_F(BrushAndPointer, EscEndsWhatIsThisWithoutHelp) {
    ASSERT_TRUE(Open(MakePicture(300, 220)));
    Domain->ContextHelpCommand->trigger();
    ASSERT_TRUE(FMain->ContextHelpMode);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WhatsThisCursor);
    QTest::keyClick(FMain->cbStyles, Qt::Key_Escape);
    EXPECT_FALSE(FMain->ContextHelpMode);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(Domain->ToolManager->Enabled);
    // The next click is an ordinary one: no page opens, and the tool it picks is taken.
    QTest::mouseClick(FMain->btAuto, Qt::LeftButton);
    EXPECT_FALSE(FHlpWnd->isVisible());
    EXPECT_EQ(Domain->ToolManager->Tool, tiAutoSketch);
    // Esc outside context help is left to the controls.
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    EXPECT_FALSE(FMain->ApplicationMessage(FMain->cbStyles, &esc));
}

} // namespace
