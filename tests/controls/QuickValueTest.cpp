// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/QuickValue.h"
#include "platform/rtl/Round.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEnterEvent>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {
struct Fired {
    std::vector<void*> Senders;
    std::vector<int> Positions;
};

void Enter(QWidget& Widget, QPoint At = QPoint(10, 8)) {
    QEnterEvent enter(At, Widget.mapToGlobal(At), Widget.mapToGlobal(At));
    QApplication::sendEvent(&Widget, &enter);
}

// Presses on the box (which shows its picker modally) and runs WhileOpen inside the picker's
// modal loop; a picker still open afterwards is closed so the test cannot hang.
void PressAndPick(TQuickValue& Box, const std::function<void(TFPickPct&)>& WhileOpen) {
    QTimer::singleShot(0, [&] {
        TFPickPct& picker = *Box.Popup();
        EXPECT_TRUE(picker.isVisible());
        WhileOpen(picker);
        if (picker.isVisible()) {
            ADD_FAILURE() << "picker still open";
            picker.done(0);
        }
    });
    QTest::mousePress(&Box, Qt::LeftButton, {}, QPoint(10, 8));
}

// A point of the picker's client area in the picker's own coordinates.
QPoint Client(const TFPickPct& Picker, int X, int Y) {
    return Picker.ClientOrigin() + QPoint(X, Y);
}

std::unique_ptr<TQuickValue> DensityBox() {
    auto box = std::make_unique<TQuickValue>();
    box->SetMin(5);
    box->SetMax(200);
    box->SetPosition(10);
    box->SetSuffix(" lines");
    box->SetEnabled(true);
    return box;
}
} // namespace

TEST(QuickValue, StartsAsTheFormsExpect) {
    TQuickValue box;
    EXPECT_EQ(box.size(), QSize(46, 16));
    EXPECT_EQ(box.Text(), "0%");
    EXPECT_FALSE(box.Enabled());
    EXPECT_EQ(box.Min(), 0);
    EXPECT_EQ(box.Max(), 100);
    EXPECT_EQ(box.Position(), 0);
    EXPECT_EQ(box.ColorActive(), clBtnFace);
    EXPECT_EQ(box.ColorInactive(), clBtnFace);
    EXPECT_EQ(box.ColorBorder(), clBlack);
    EXPECT_EQ(box.ColorHighLigthBorder(), clBtnHighlight);
    EXPECT_EQ(box.ColorShadowBorder(), clBtnShadow);
    ASSERT_NE(box.Popup(), nullptr);
    EXPECT_EQ(box.Popup()->Image1.Left, 1);
    EXPECT_EQ(box.Popup()->height(), 20);
}

TEST(QuickValue, PropertiesInStoredOrderAndRefusedValues) {
    TQuickValue box;
    box.SetMin(10);
    box.SetMax(150);
    box.SetPosition(10);
    box.SetSuffix(" pixels");
    EXPECT_EQ(box.Text(), "10 pixels");

    TQuickValue other;
    other.SetMin(150); // not below Max 100
    EXPECT_EQ(other.Min(), 0);
    other.SetMax(300);
    other.SetMin(150);
    EXPECT_EQ(other.Min(), 150);
    EXPECT_EQ(other.Position(), 150);
    EXPECT_EQ(other.Text(), "150%");
    other.SetMax(150); // not above Min
    EXPECT_EQ(other.Max(), 300);
}

TEST(QuickValue, MinAboveThePositionMovesItAndTellsThePicker) {
    TQuickValue box;
    box.SetPosition(10);
    box.SetMin(20);
    EXPECT_EQ(box.Position(), 20);
    EXPECT_EQ(box.Text(), "20%");
    EXPECT_EQ(box.Popup()->Position(), 20);
}

TEST(QuickValue, DensityBoxWorkedExample) {
    auto box = DensityBox();
    box->show();
    Fired changes, ends;
    box->OnChangePos = [&](void* Sender) {
        changes.Senders.push_back(Sender);
        changes.Positions.push_back(box->Position());
    };
    box->OnEndChange = [&](void* Sender) { ends.Senders.push_back(Sender); };
    Enter(*box);
    ASSERT_TRUE(box->Hot());

    PressAndPick(*box, [&](TFPickPct& picker) {
        // Opening: the range, the value and one change event with the unchanged value.
        EXPECT_EQ(picker.Min(), 5);
        EXPECT_EQ(picker.Max(), 200);
        EXPECT_EQ(picker.Image1.Left, 4);
        EXPECT_TRUE(picker.ThumbDrag);
        EXPECT_TRUE(picker.BarDrag);
        ASSERT_EQ(changes.Positions, std::vector<int>{10});
        EXPECT_EQ(changes.Senders[0], static_cast<void*>(&picker));

        // Moves over the bar need no button.
        QMouseEvent move(QEvent::MouseMove, QPointF(Client(picker, 106, 2)), QPointF(), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&picker, &move);
        EXPECT_EQ(picker.Image1.Left, 101);
        EXPECT_EQ(box->Position(), 200);
        QMouseEvent back(QEvent::MouseMove, QPointF(Client(picker, 56, 2)), QPointF(), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&picker, &back);
        EXPECT_EQ(box->Position(), 103); // 97.5 rounds to the even 98
        EXPECT_EQ(box->Text(), "103 lines");
        QTest::mouseRelease(&picker, Qt::LeftButton, {}, Client(picker, 56, 2));
    });
    EXPECT_FALSE(box->Popup()->isVisible());
    EXPECT_EQ(box->Position(), 103);
    ASSERT_EQ(ends.Senders.size(), 1u);
    EXPECT_EQ(ends.Senders[0], static_cast<void*>(box->Popup()));
    EXPECT_FALSE(box->Popup()->ThumbDrag);
    // The box keeps its pressed look until a release reaches it.
    EXPECT_TRUE(box->Pressed());
    QTest::mouseRelease(box.get(), Qt::LeftButton, {}, QPoint(10, 8));
    EXPECT_FALSE(box->Pressed());
}

namespace {
void MoveOver(TFPickPct& Picker, QPoint At, Qt::MouseButtons Held) {
    QMouseEvent move(QEvent::MouseMove, QPointF(At), Picker.mapToGlobal(QPointF(At)), Qt::NoButton, Held,
                     Qt::NoModifier);
    QApplication::sendEvent(&Picker, &move);
}
} // namespace

// A move past either end of the bar gives that end of the range, however far and fast it went:
// the thumb sits at the end and the box shows the range's bound.
TEST(QuickValue, ThumbDragAndMovesPastTheEnds) {
    auto box = DensityBox();
    box->show();
    Enter(*box);
    PressAndPick(*box, [&](TFPickPct& picker) {
        // A press on the thumb, then a drag along the bar and past its ends.
        const QPoint thumb = Client(picker, picker.Image1.Left + 5, picker.Image1.Top + 3);
        QTest::mousePress(&picker, Qt::LeftButton, {}, thumb);
        MoveOver(picker, Client(picker, 90, 8), Qt::LeftButton);
        EXPECT_EQ(picker.Image1.Left, 85);
        EXPECT_EQ(box->Position(), Round(84 * 1.95) + 5);
        MoveOver(picker, Client(picker, 107, 8), Qt::LeftButton);
        EXPECT_EQ(picker.Image1.Left, 101);
        EXPECT_EQ(box->Position(), 200);
        MoveOver(picker, Client(picker, 50, 8), Qt::LeftButton);
        // Far past the left end and off the picker in one jump.
        MoveOver(picker, Client(picker, -300, 70), Qt::LeftButton);
        EXPECT_EQ(picker.Image1.Left, 1);
        EXPECT_EQ(box->Position(), 5);
        MoveOver(picker, Client(picker, 5, 8), Qt::LeftButton);
        EXPECT_EQ(box->Position(), 5);
        QTest::mouseRelease(&picker, Qt::LeftButton, {}, Client(picker, 5, 8));
    });
    EXPECT_EQ(box->Position(), 5);
    QTest::mouseRelease(box.get(), Qt::LeftButton, {}, QPoint(10, 8));

    // Opened by a press that is still held: a drag out past the right end gives 200.
    PressAndPick(*box, [&](TFPickPct& picker) {
        MoveOver(picker, Client(picker, 60, 8), Qt::LeftButton);
        MoveOver(picker, Client(picker, 400, -30), Qt::LeftButton);
        EXPECT_EQ(picker.Image1.Left, 101);
        EXPECT_EQ(box->Position(), 200);
        // Without a button only a pointer level with the picker moves the thumb: one far above
        // it leaves the value, one past the left end gives the least.
        MoveOver(picker, Client(picker, 50, -40), Qt::NoButton);
        EXPECT_EQ(box->Position(), 200);
        MoveOver(picker, Client(picker, -20, 8), Qt::NoButton);
        EXPECT_EQ(box->Position(), 5);
        QTest::mouseRelease(&picker, Qt::LeftButton, {}, Client(picker, 6, 8));
    });
    EXPECT_EQ(box->Position(), 5);
}

namespace {
// A window holding a density box and, beside it, a stand-in for the drawing that logs the mouse
// events reaching it; it logs close requests too, and refuses them.
class TWindow : public QWidget {
public:
    struct TDrawing : QWidget {
        using QWidget::QWidget;
        std::vector<QEvent::Type> Events;
        bool event(QEvent* E) override {
            if (dynamic_cast<QMouseEvent*>(E) != nullptr) Events.push_back(E->type());
            return QWidget::event(E);
        }
    };

    TWindow() : Box(DensityBox()), Drawing(new TDrawing(this)) {
        resize(400, 300);
        Box->setParent(this);
        Box->move(10, 10);
        Drawing->setGeometry(150, 100, 200, 150);
        Box->OnChangePos = [this](void*) { Changes.push_back(Box->Position()); };
        Box->OnEndChange = [this](void*) { Ends.push_back(Box->Position()); };
        show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(this));
        Enter(*Box);
    }
    // Presses the box and, unless Held, lets the press go at once, below the box: outside the
    // picker.
    void QuickClick(const std::function<void(TFPickPct&)>& WhileOpen, bool Held = false) {
        QTimer::singleShot(0, [&, Held] {
            TFPickPct& picker = *Box->Popup();
            if (!Held) Mouse(QEvent::MouseButtonRelease, Box.get(), QPoint(10, 8));
            EXPECT_TRUE(picker.isVisible());
            WhileOpen(picker);
            if (picker.isVisible()) {
                ADD_FAILURE() << "picker still open";
                picker.done(0);
            }
        });
        Mouse(QEvent::MouseButtonPress, Box.get(), QPoint(10, 8));
    }
    // An event as the window system delivers it: to the window, at a point of one of its widgets.
    void Mouse(QEvent::Type Type, QWidget* At, QPoint P, Qt::MouseButton Button = Qt::LeftButton,
               Qt::MouseButtons Held = Qt::NoButton) {
        const QPointF p(At->mapTo(this, P));
        if (Type == QEvent::MouseButtonPress) Held |= Button;
        QMouseEvent e(Type, p, mapToGlobal(p), Type == QEvent::MouseMove ? Qt::NoButton : Button, Held,
                      Qt::NoModifier);
        QApplication::sendEvent(windowHandle(), &e);
    }

    std::unique_ptr<TQuickValue> Box;
    TDrawing* Drawing;
    std::vector<int> Changes, Ends;
    std::vector<bool> PickerShownAtClose;

protected:
    void closeEvent(QCloseEvent* E) override {
        PickerShownAtClose.push_back(Box->Popup()->isVisible());
        E->ignore();
    }
};
} // namespace

// A quick click leaves the picker open (the release falls outside it). A press anywhere else then
// closes it with the value it shows (set by a pointer passing level with the bar) and goes
// nowhere: not the press, not the drag and release that follow it. The next click is the
// window's again. A click on the picker closes it too, without a move keeping the value.
TEST(QuickValue, AfterAQuickClickAPressOutsideClosesThePickerAndGoesNowhere) {
    TWindow window;
    window.QuickClick([&](TFPickPct& picker) {
        EXPECT_EQ(window.Box->Position(), 10);
        MoveOver(picker, Client(picker, 56, 8), Qt::NoButton);
        EXPECT_EQ(window.Box->Position(), 103);
        window.Mouse(QEvent::MouseButtonPress, window.Drawing, QPoint(100, 20));
        EXPECT_FALSE(picker.isVisible());
        window.Mouse(QEvent::MouseMove, window.Drawing, QPoint(120, 40), Qt::NoButton, Qt::LeftButton);
        window.Mouse(QEvent::MouseButtonRelease, window.Drawing, QPoint(120, 40));
    });
    EXPECT_EQ(window.Box->Position(), 103);
    EXPECT_EQ(window.Box->Text(), "103 lines");
    EXPECT_EQ(window.Ends, std::vector<int>{103});
    EXPECT_TRUE(window.Drawing->Events.empty());
    window.Mouse(QEvent::MouseButtonPress, window.Drawing, QPoint(30, 30));
    window.Mouse(QEvent::MouseButtonRelease, window.Drawing, QPoint(30, 30));
    EXPECT_EQ(window.Drawing->Events,
              (std::vector<QEvent::Type>{QEvent::MouseButtonPress, QEvent::MouseButtonRelease}));

    // A press on the box itself, or with another button, closes it the same way.
    window.Drawing->Events.clear();
    window.QuickClick([&](TFPickPct& picker) {
        window.Mouse(QEvent::MouseButtonPress, window.Box.get(), QPoint(10, 8), Qt::RightButton);
        EXPECT_FALSE(picker.isVisible());
        window.Mouse(QEvent::MouseButtonRelease, window.Box.get(), QPoint(10, 8), Qt::RightButton);
    });
    EXPECT_EQ(window.Ends, (std::vector<int>{103, 103}));
    EXPECT_EQ(window.Box->Position(), 103);

    window.QuickClick(
        [&](TFPickPct& picker) { QTest::mouseClick(&picker, Qt::LeftButton, {}, Client(picker, 60, 10)); });
    EXPECT_EQ(window.Ends, (std::vector<int>{103, 103, 103}));
    EXPECT_TRUE(window.Drawing->Events.empty());
}

// Esc closes the picker with the value it had when it opened, and the box's handlers hear of it;
// Enter closes it with the value shown. Neither is passed on.
TEST(QuickValue, EscRestoresTheOpeningValueAndEnterKeepsTheValueShown) {
    TWindow window;
    window.QuickClick([&](TFPickPct& picker) {
        MoveOver(picker, Client(picker, 106, 8), Qt::NoButton);
        QTest::keyClick(&picker, Qt::Key_Escape);
        EXPECT_FALSE(picker.isVisible());
    });
    EXPECT_EQ(window.Box->Position(), 10);
    EXPECT_EQ(window.Box->Text(), "10 lines");
    EXPECT_EQ(window.Changes, (std::vector<int>{10, 200, 10}));
    EXPECT_EQ(window.Ends, std::vector<int>{10});

    window.Changes.clear();
    window.QuickClick([&](TFPickPct& picker) {
        MoveOver(picker, Client(picker, 106, 8), Qt::NoButton);
        QTest::keyClick(&picker, Qt::Key_Return);
        EXPECT_FALSE(picker.isVisible());
    });
    EXPECT_EQ(window.Box->Position(), 200);
    EXPECT_EQ(window.Changes, (std::vector<int>{10, 200}));
    EXPECT_EQ(window.Ends, (std::vector<int>{10, 200}));

    // Esc during a drag from the box: the value goes back, and the drag's release goes nowhere.
    window.QuickClick(
        [&](TFPickPct& picker) {
            MoveOver(picker, Client(picker, 20, 30), Qt::LeftButton);
            EXPECT_EQ(window.Box->Position(), 32);
            QTest::keyClick(&picker, Qt::Key_Escape);
            window.Mouse(QEvent::MouseMove, window.Drawing, QPoint(20, 20), Qt::NoButton, Qt::LeftButton);
            window.Mouse(QEvent::MouseButtonRelease, window.Drawing, QPoint(20, 20));
        },
        true);
    EXPECT_EQ(window.Box->Position(), 200);
    EXPECT_TRUE(window.Drawing->Events.empty());
}

// The picker blocks no window: a request to close one closes the picker first, with the value
// shown, and is then answered by the window as usual.
TEST(QuickValue, ACloseRequestClosesThePickerAndReachesTheWindow) {
    TWindow window;
    window.QuickClick([&](TFPickPct& picker) {
        EXPECT_EQ(QGuiApplication::modalWindow(), nullptr);
        MoveOver(picker, Client(picker, 6, 8), Qt::NoButton);
        window.windowHandle()->close();
        EXPECT_FALSE(picker.isVisible());
    });
    EXPECT_EQ(window.PickerShownAtClose, std::vector<bool>{false});
    EXPECT_EQ(window.Ends, std::vector<int>{5});
    EXPECT_TRUE(window.isVisible());
}

TEST(QuickValue, CodeChangesFireOnlyAfterTheFirstOpening) {
    auto box = DensityBox();
    box->show();
    std::vector<void*> senders;
    box->OnChangePos = [&](void* Sender) { senders.push_back(Sender); };
    box->SetPosition(20);
    EXPECT_TRUE(senders.empty());

    Enter(*box);
    PressAndPick(*box, [&](TFPickPct& picker) {
        QTest::mouseRelease(&picker, Qt::LeftButton, {}, Client(picker, 40, 10));
    });
    ASSERT_EQ(senders.size(), 1u);
    box->SetPosition(30);
    ASSERT_EQ(senders.size(), 2u);
    EXPECT_EQ(senders[1], static_cast<void*>(box->Popup()));
    EXPECT_EQ(box->Position(), 30);
    box->SetPosition(500); // outside 5..200
    EXPECT_EQ(senders.size(), 2u);
    EXPECT_EQ(box->Position(), 30);
}

TEST(QuickValue, PickerStaysOnTheScreen) {
    const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    auto box = DensityBox();
    box->move(screenWidth - 60, 100);
    box->show();
    Enter(*box);
    QPoint opened;
    PressAndPick(*box, [&](TFPickPct& picker) {
        opened = picker.pos();
        picker.done(0);
    });
    EXPECT_EQ(opened.x() + box->Popup()->width(), screenWidth);
    EXPECT_EQ(opened.y(), box->mapToGlobal(QPoint(0, 15)).y());
}

TEST(QuickValue, ADisabledBoxIgnoresThePointer) {
    TQuickValue box;
    box.show();
    Enter(box);
    EXPECT_FALSE(box.Hot());
    QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(10, 8));
    EXPECT_FALSE(box.Pressed());
    EXPECT_FALSE(box.Popup()->isVisible());
}

TEST(QuickValue, GlyphTintKeepsTheChannelMean) {
    TQuickValue box;
    QImage glyph(2, 1, QImage::Format_ARGB32);
    glyph.setPixel(0, 0, qRgb(255, 0, 255)); // mean 2/3
    glyph.setPixel(1, 0, qRgb(0, 0, 0));
    box.TintBitmap(glyph);
    EXPECT_EQ(glyph.pixel(0, 0), qRgb(170, 170, 170));
    EXPECT_EQ(glyph.pixel(1, 0), qRgb(0, 0, 0));

    box.SetColorBorder(clNavy);
    glyph.setPixel(0, 0, qRgb(128, 128, 128));
    box.TintBitmap(glyph);
    const QColor blue = QColor::fromRgb(glyph.pixel(0, 0));
    EXPECT_EQ(blue.red(), blue.green());
    EXPECT_GT(blue.blue(), blue.red());

    // A system colour is taken by its raw bytes: clBtnShadow is $FF000010, a dark red.
    float h, s, l;
    ColorToHSL(clBtnShadow, h, s, l);
    EXPECT_EQ(h, 0.0f);
    EXPECT_EQ(s, 1.0f);
}

TEST(QuickValue, PaintsFrameSeparatorAndGlyph) {
    QWidget parent;
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0, 255, 0));
    parent.setPalette(palette);
    parent.setAutoFillBackground(true);
    parent.resize(60, 30);
    TQuickValue box(&parent);
    box.SetColorActive(RGBToColor(200, 200, 200));
    box.SetColorHighLigthBorder(clWhite);
    box.SetColorShadowBorder(clGray);
    box.SetEnabled(true);
    parent.show();

    QImage plain = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(plain.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(plain.pixel(44, 14), qRgb(0, 0, 0));
    EXPECT_EQ(plain.pixel(45, 15), qRgb(0, 255, 0)); // outside the frame: the parent shows
    EXPECT_EQ(plain.pixel(32, 5), qRgb(128, 128, 128));
    EXPECT_EQ(plain.pixel(33, 5), qRgb(255, 255, 255));
    EXPECT_EQ(plain.pixel(36, 2), qRgb(0, 0, 0));       // the glyph's vertical side
    EXPECT_EQ(plain.pixel(35, 7), qRgb(200, 200, 200)); // its transparent column 0

    Enter(box);
    QImage raised = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(raised.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(raised.pixel(45, 15), qRgb(128, 128, 128));
    EXPECT_EQ(raised.pixel(45, 0), qRgb(0, 255, 0));
    EXPECT_EQ(raised.pixel(10, 14), qRgb(200, 200, 200));

    box.SetEnabled(false);
    box.repaint();
    QImage disabled = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // The disabled glyph is an outline: its inside is transparent.
    EXPECT_EQ(raised.pixel(38, 7), qRgb(192, 192, 192));
    EXPECT_EQ(disabled.pixel(38, 7), qRgb(200, 200, 200));
    EXPECT_EQ(disabled.pixel(36, 2), qRgb(0, 0, 0));
}

TEST(QuickValue, TheGlyphFollowsANewBorderColour) {
    TQuickValue box;
    box.SetEnabled(true);
    // A grey pixel inside the glyph: grey under the black border, red once the border is red.
    const QRgb before = box.grab().toImage().pixel(38, 7);
    EXPECT_EQ(qRed(before), qGreen(before));
    box.SetColorBorder(clRed);
    const QRgb after = box.grab().toImage().pixel(38, 7);
    EXPECT_GT(qRed(after), qGreen(after));
    EXPECT_EQ(qGreen(after), qBlue(after));
}
