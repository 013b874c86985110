#include "platform/qt/ImgView32Widget.h"

#include "platform/qt/InputEvents.h"
#include "platform/qt/ScreenCursors.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

namespace {
// One notch of a classic mouse wheel, in Qt's eighths of a degree.
constexpr int WheelNotch = 120;
} // namespace

QCursor CursorOf(TCursor Cursor) {
    switch (Cursor) {
    case crDefault:
    case crArrow:
        return QCursor(Qt::ArrowCursor);
    case crCross:
        return QCursor(Qt::CrossCursor);
    case crHourGlass:
        return QCursor(Qt::WaitCursor);
    case crHelp:
        return QCursor(Qt::WhatsThisCursor);
    default:
        return Cursor > 0 ? ScreenCursor(Cursor) : QCursor(Qt::ArrowCursor);
    }
}

TCustomImage32Widget::TCustomImage32Widget(std::unique_ptr<TCustomImage32> Model, QWidget* Parent)
    : QAbstractScrollArea(Parent), FModel(std::move(Model)),
      FScrolling(dynamic_cast<TCustomImgView32*>(FModel.get())) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::ClickFocus);
    viewport()->setMouseTracking(true);
    // The buffer covers the whole viewport: Qt need not clear it first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    const Qt::ScrollBarPolicy policy = FScrolling ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
    setHorizontalScrollBarPolicy(policy);
    setVerticalScrollBarPolicy(policy);
    FModel->OnRepaintRequest = [this](bool Immediate) { ModelChanged(Immediate); };
    FModel->OnCursorChange = [this](TCursor Cursor) { ShowCursor(Cursor); };
    FModel->OnQueryMousePosition = [this] {
        const QPoint p = viewport()->mapFromGlobal(QCursor::pos());
        return Point(p.x(), p.y());
    };
    ShowCursor(FModel->Cursor());
    SyncViewport();
}

TCustomImage32Widget::~TCustomImage32Widget() {
    FModel->OnRepaintRequest = nullptr;
    FModel->OnCursorChange = nullptr;
    FModel->OnQueryMousePosition = nullptr;
}

TImgView32Widget::TImgView32Widget(QWidget* Parent)
    : TCustomImage32Widget(std::make_unique<TImgView32>(), Parent) {}

TImage32Widget::TImage32Widget(QWidget* Parent)
    : TCustomImage32Widget(std::make_unique<TImage32>(), Parent) {}

// ---------------------------------------------------------------------------------------------
// Layout and painting
// ---------------------------------------------------------------------------------------------

void TCustomImage32Widget::ModelChanged(bool Immediate) {
    SyncScrollBars();
    if (Immediate)
        viewport()->repaint();
    else
        viewport()->update();
}

void TCustomImage32Widget::SyncViewport() {
    FModel->SetViewportSize(viewport()->width(), viewport()->height());
}

void TCustomImage32Widget::SyncScrollBars() {
    if (!FScrolling || FSyncing) return;
    FSyncing = true;
    // A scroll bar that appears or goes narrows the viewport, which changes the ranges again; a
    // few rounds settle it.
    for (int round = 0; round < 3; ++round) {
        const int width = viewport()->width(), height = viewport()->height();
        QScrollBar* h = horizontalScrollBar();
        QScrollBar* v = verticalScrollBar();
        h->setRange(0, FScrolling->HorzScrollRange());
        h->setPageStep(std::max(FScrolling->ViewportWidth(), 1));
        h->setSingleStep(16);
        v->setRange(0, FScrolling->VertScrollRange());
        v->setPageStep(std::max(FScrolling->ViewportHeight(), 1));
        v->setSingleStep(16);
        h->setValue(FScrolling->ScrollX());
        v->setValue(FScrolling->ScrollY());
        if (viewport()->width() == width && viewport()->height() == height) break;
        FModel->SetViewportSize(viewport()->width(), viewport()->height());
    }
    FSyncing = false;
}

void TCustomImage32Widget::resizeEvent(QResizeEvent* /*Event*/) {
    SyncViewport();
    SyncScrollBars();
}

void TCustomImage32Widget::scrollContentsBy(int /*DX*/, int /*DY*/) {
    if (!FScrolling || FSyncing) return;
    const int x = horizontalScrollBar()->value(), y = verticalScrollBar()->value();
    GuardEvent([&] { FScrolling->SetScroll(x, y); });
}

void TCustomImage32Widget::paintEvent(QPaintEvent* /*Event*/) {
    if (FModel->ViewportWidth() != viewport()->width() || FModel->ViewportHeight() != viewport()->height())
        SyncViewport();
    GuardEvent([&] { FModel->UpdateBuffer(); });
    const TBitmap32& buffer = FModel->Buffer;
    if (buffer.Empty()) return;
    // The buffer's alpha is of no account on the screen.
    const QImage image(reinterpret_cast<const uchar*>(buffer.Bits()), buffer.Width(), buffer.Height(),
                       static_cast<qsizetype>(buffer.Width()) * 4, QImage::Format_RGB32);
    QPainter painter(viewport());
    painter.drawImage(0, 0, image);
}

void TCustomImage32Widget::ShowCursor(TCursor Cursor) {
    viewport()->setCursor(CursorOf(Cursor));
}

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

void TCustomImage32Widget::Press(QMouseEvent* Event, bool Double) {
    TMouseButton button;
    if (!MouseButtonOf(Event->button(), button)) return;
    const QPoint p = Event->position().toPoint();
    TShiftState shift = ShiftStateOf(Event->modifiers(), Event->buttons());
    if (Double) shift |= ssDouble;
    GuardEvent([&] { FModel->MouseDown(button, shift, p.x(), p.y()); });
}

void TCustomImage32Widget::mousePressEvent(QMouseEvent* Event) {
    Press(Event, false);
}

void TCustomImage32Widget::mouseDoubleClickEvent(QMouseEvent* Event) {
    Press(Event, true);
}

void TCustomImage32Widget::mouseMoveEvent(QMouseEvent* Event) {
    const QPoint p = Event->position().toPoint();
    const TShiftState shift = ShiftStateOf(Event->modifiers(), Event->buttons());
    GuardEvent([&] { FModel->MouseMove(shift, p.x(), p.y()); });
}

void TCustomImage32Widget::mouseReleaseEvent(QMouseEvent* Event) {
    TMouseButton button;
    if (!MouseButtonOf(Event->button(), button)) return;
    const QPoint p = Event->position().toPoint();
    const TShiftState shift = ShiftStateOf(Event->modifiers(), Event->buttons());
    GuardEvent([&] { FModel->MouseUp(button, shift, p.x(), p.y()); });
}

void TCustomImage32Widget::wheelEvent(QWheelEvent* Event) {
    // One event per whole notch, as a classic wheel turns; what the handlers leave unhandled
    // scrolls the view.
    FWheelDelta += Event->angleDelta().y();
    const QPoint p = Event->position().toPoint();
    const TShiftState shift = ShiftStateOf(Event->modifiers(), Event->buttons());
    bool handled = false;
    while (std::abs(FWheelDelta) >= WheelNotch) {
        const int notch = FWheelDelta > 0 ? WheelNotch : -WheelNotch;
        FWheelDelta -= notch;
        GuardEvent([&] { handled = FModel->MouseWheel(shift, notch, Point(p.x(), p.y())) || handled; });
    }
    if (handled)
        Event->accept();
    else
        QAbstractScrollArea::wheelEvent(Event);
}

void TCustomImage32Widget::keyPressEvent(QKeyEvent* Event) {
    const uint16_t original = VirtualKeyOf(Event->key());
    uint16_t key = original;
    const TShiftState shift = ShiftStateOf(Event->modifiers(), Qt::NoButton);
    GuardEvent([&] { FModel->KeyDown(key, shift); });
    // A handler that took the key clears it.
    if (original != 0 && key == 0)
        Event->accept();
    else
        QAbstractScrollArea::keyPressEvent(Event);
}

void TCustomImage32Widget::keyReleaseEvent(QKeyEvent* Event) {
    const uint16_t original = VirtualKeyOf(Event->key());
    uint16_t key = original;
    const TShiftState shift = ShiftStateOf(Event->modifiers(), Qt::NoButton);
    GuardEvent([&] { FModel->KeyUp(key, shift); });
    if (original != 0 && key == 0)
        Event->accept();
    else
        QAbstractScrollArea::keyReleaseEvent(Event);
}
