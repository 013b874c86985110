// SPDX-License-Identifier: GPL-3.0-or-later
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
      FScrolling(dynamic_cast<TCustomImgView32*>(FModel.get())), FDevicePixels(FScrolling != nullptr) {
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
        return ToModel(viewport()->mapFromGlobal(QPointF(QCursor::pos())));
    };
    if (FScrolling) FScrolling->OnScrollStateChange = [this] { SyncScrollBars(); };
    ShowCursor(FModel->Cursor());
    SyncViewport();
    SyncScrollBars();
}

TCustomImage32Widget::~TCustomImage32Widget() {
    FModel->OnRepaintRequest = nullptr;
    FModel->OnCursorChange = nullptr;
    FModel->OnQueryMousePosition = nullptr;
    if (FScrolling) FScrolling->OnScrollStateChange = nullptr;
}

void TCustomImage32Widget::SetDevicePixels(bool Value) {
    if (Value == FDevicePixels) return;
    FDevicePixels = Value;
    SyncViewport();
}

qreal TCustomImage32Widget::PixelRatio() const {
    return FDevicePixels ? viewport()->devicePixelRatio() : 1.0;
}

QSize TCustomImage32Widget::ViewportPixels() const {
    const qreal ratio = PixelRatio();
    return QSize(qRound(viewport()->width() * ratio), qRound(viewport()->height() * ratio));
}

TPoint TCustomImage32Widget::ToModel(const QPointF& Logical) const {
    const qreal ratio = PixelRatio();
    return Point(qRound(Logical.x() * ratio), qRound(Logical.y() * ratio));
}

TImgView32Widget::TImgView32Widget(QWidget* Parent)
    : TCustomImage32Widget(std::make_unique<TImgView32>(), Parent) {}

TImage32Widget::TImage32Widget(QWidget* Parent)
    : TCustomImage32Widget(std::make_unique<TImage32>(), Parent) {}

// ---------------------------------------------------------------------------------------------
// Layout and painting
// ---------------------------------------------------------------------------------------------

void TCustomImage32Widget::ModelChanged(bool Immediate) {
    if (Immediate)
        viewport()->repaint();
    else
        viewport()->update();
}

void TCustomImage32Widget::SyncViewport() {
    const QSize size = ViewportPixels();
    FModel->SetViewportSize(size.width(), size.height());
}

void TCustomImage32Widget::SyncScrollBars() {
    // Runs when the model's scroll state changed. Setting a bar may show or hide it, which
    // resizes the viewport at once: the model takes the new size, may move, and tells of it
    // while the bars are being set (that call is left out here); the rounds go on until the
    // bars and the viewport agree with the model.
    if (!FScrolling || FSyncing) return;
    FSyncing = true;
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    const int singleStep = std::max(qRound(16 * PixelRatio()), 1);
    for (int round = 0; round < 4; ++round) {
        h->setRange(0, FScrolling->HorzScrollRange());
        h->setPageStep(std::max(FScrolling->ViewportWidth(), 1));
        h->setSingleStep(singleStep);
        v->setRange(0, FScrolling->VertScrollRange());
        v->setPageStep(std::max(FScrolling->ViewportHeight(), 1));
        v->setSingleStep(singleStep);
        h->setValue(FScrolling->ScrollX());
        v->setValue(FScrolling->ScrollY());
        SyncViewport();
        if (h->maximum() == FScrolling->HorzScrollRange() && v->maximum() == FScrolling->VertScrollRange() &&
            h->value() == FScrolling->ScrollX() && v->value() == FScrolling->ScrollY() &&
            h->pageStep() == std::max(FScrolling->ViewportWidth(), 1) &&
            v->pageStep() == std::max(FScrolling->ViewportHeight(), 1))
            break;
    }
    FSyncing = false;
}

void TCustomImage32Widget::resizeEvent(QResizeEvent* /*Event*/) {
    // A new size reaches the bars through the model's scroll state. The pointer now lies
    // elsewhere in the viewport, if in it at all: its next move tells where.
    SyncViewport();
    GuardEvent([&] { FModel->MouseLeave(); });
}

bool TCustomImage32Widget::viewportEvent(QEvent* Event) {
    // The pointer left for the scroll bars, another control or another window.
    if (Event->type() == QEvent::Leave) GuardEvent([&] { FModel->MouseLeave(); });
    return QAbstractScrollArea::viewportEvent(Event);
}

void TCustomImage32Widget::scrollContentsBy(int /*DX*/, int /*DY*/) {
    if (!FScrolling || FSyncing) return;
    const int x = horizontalScrollBar()->value(), y = verticalScrollBar()->value();
    GuardEvent([&] { FScrolling->SetScroll(x, y); });
}

void TCustomImage32Widget::paintEvent(QPaintEvent* /*Event*/) {
    // The ratio changes without a resize when the window moves to another screen.
    SyncViewport();
    GuardEvent([&] { FModel->UpdateBuffer(); });
    const TBitmap32& buffer = FModel->Buffer;
    QPainter painter(viewport());
    const QColor surround = QColor::fromRgb(FModel->Color);
    if (buffer.Empty()) {
        painter.fillRect(viewport()->rect(), surround);
        return;
    }
    // The buffer's alpha is of no account on the screen.
    QImage image(reinterpret_cast<const uchar*>(buffer.Bits()), buffer.Width(), buffer.Height(),
                 static_cast<qsizetype>(buffer.Width()) * 4, QImage::Format_RGB32);
    const qreal ratio = PixelRatio();
    image.setDevicePixelRatio(ratio);
    painter.drawImage(QPointF(0, 0), image);
    // At a fractional ratio the rounded buffer may end a fraction of a pixel short.
    const QSizeF covered = QSizeF(buffer.Width(), buffer.Height()) / ratio;
    if (covered.width() < viewport()->width())
        painter.fillRect(
            QRectF(covered.width(), 0, viewport()->width() - covered.width(), viewport()->height()),
            surround);
    if (covered.height() < viewport()->height())
        painter.fillRect(
            QRectF(0, covered.height(), viewport()->width(), viewport()->height() - covered.height()),
            surround);
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
    const TPoint p = ToModel(Event->position());
    TShiftState shift = ShiftStateOf(Event->modifiers(), Event->buttons());
    if (Double) shift |= ssDouble;
    GuardEvent([&] { FModel->MouseDown(button, shift, p.X, p.Y); });
}

void TCustomImage32Widget::mousePressEvent(QMouseEvent* Event) {
    Press(Event, false);
}

void TCustomImage32Widget::mouseDoubleClickEvent(QMouseEvent* Event) {
    Press(Event, true);
}

void TCustomImage32Widget::mouseMoveEvent(QMouseEvent* Event) {
    const TPoint p = ToModel(Event->position());
    const TShiftState shift = ShiftStateOf(Event->modifiers(), Event->buttons());
    GuardEvent([&] { FModel->MouseMove(shift, p.X, p.Y); });
}

void TCustomImage32Widget::mouseReleaseEvent(QMouseEvent* Event) {
    TMouseButton button;
    if (!MouseButtonOf(Event->button(), button)) return;
    const TPoint p = ToModel(Event->position());
    const TShiftState shift = ShiftStateOf(Event->modifiers(), Event->buttons());
    GuardEvent([&] { FModel->MouseUp(button, shift, p.X, p.Y); });
}

void TCustomImage32Widget::wheelEvent(QWheelEvent* Event) {
    // One event per whole notch, as a classic wheel turns; what the handlers leave unhandled
    // scrolls the view. A turn of less than a notch does what the last whole notch did, so a
    // fine-stepping wheel does not scroll a view whose handler takes the wheel.
    FWheelDelta += Event->angleDelta().y();
    const TPoint p = ToModel(Event->position());
    const TShiftState shift = ShiftStateOf(Event->modifiers(), Event->buttons());
    bool handled = FWheelHandled;
    if (std::abs(FWheelDelta) >= WheelNotch) {
        handled = false;
        while (std::abs(FWheelDelta) >= WheelNotch) {
            const int notch = FWheelDelta > 0 ? WheelNotch : -WheelNotch;
            FWheelDelta -= notch;
            GuardEvent([&] { handled = FModel->MouseWheel(shift, notch, p) || handled; });
        }
        FWheelHandled = handled;
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
