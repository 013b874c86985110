// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/UPickPct.h"

#include "controls/ControlPictures.h"
#include "platform/qt/Colors.h"
#include "platform/rtl/Round.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {
// The thumb's picture with its magenta background made transparent.
QImage ThumbPicture() {
    QImage image = LoadControlPicture(QStringLiteral("PICKTHUMB"));
    const QRgb transparent = qRgb(255, 0, 255);
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] | 0xFF000000u) == transparent) line[x] = 0;
    }
    return image;
}
} // namespace

TFPickPct::TFPickPct(QWidget* Owner)
    : QDialog(Owner, Qt::Dialog | Qt::FramelessWindowHint), FThumb(ThumbPicture()) {
    setObjectName(QStringLiteral("FPickPct"));
    setModal(true);
    setMouseTracking(true);
    FormCreate();
}

void TFPickPct::FormCreate() {
    ThumbDrag = false;
    BarDrag = false;
    FOnChange = nullptr;
    FOnEndChange = nullptr;
    FMin = 0;
    FPosition = 0;
    FMax = 100;
    // The form is 20 pixels high with its frame; the client area keeps its width.
    setFixedSize(ClientWidth + 2 * FrameWidth, 20);
    Image1.Left = Bevel1.Left - Image1.Width / 2;
}

void TFPickPct::SetPosition(int Value) {
    if (Value < FMin || Value > FMax) return;
    FPosition = Value;
    UpdateThumbFromPosition();
    if (FOnChange) FOnChange(this);
}

void TFPickPct::SetMin(int Value) {
    if (Value >= FMax) return;
    FMin = Value;
    if (FPosition < FMin) FPosition = FMin;
    UpdateThumbFromPosition();
}

void TFPickPct::SetMax(int Value) {
    if (Value <= FMin) return;
    FMax = Value;
    if (FPosition > FMax) FPosition = FMax;
    UpdateThumbFromPosition();
}

void TFPickPct::SetDragging(bool Dragging) {
    ThumbDrag = Dragging;
    BarDrag = Dragging;
}

// The 100 of both formulas is the bar's length in pixels as the thumb runs, not Bevel1's width.
void TFPickPct::UpdateThumbFromPosition() {
    const int64_t product = (static_cast<int64_t>(FPosition) - FMin) * 100;
    Image1.Left = Bevel1.Left - Image1.Width / 2 + Round(static_cast<double>(product) / (FMax - FMin));
    update();
}

void TFPickPct::UpdatePositionFromThumb() {
    const double perPixel = (static_cast<double>(FMax) - FMin) / 100.0;
    FPosition = Round((Image1.Left - Bevel1.Left + Image1.Width / 2) * perPixel) + FMin;
}

int TFPickPct::ShowModal() {
    return exec();
}

void TFPickPct::MoveThumbTo(int X) {
    // A pointer past either end of the bar puts the thumb at that end, however fast it moved.
    X = std::clamp(X, Bevel1.Left, Bevel1.Left + Bevel1.Width);
    Image1.Left = X - Image1.Width / 2;
    UpdatePositionFromThumb();
    update();
    if (FOnChange) FOnChange(this);
}

void TFPickPct::CloseForm() {
    done(QDialog::Rejected);
}

void TFPickPct::FormMouseDown(Qt::MouseButton, int, int) {
    ThumbDrag = true;
}

void TFPickPct::FormMouseMove(int X, int) {
    if (BarDrag) MoveThumbTo(X);
}

void TFPickPct::FormMouseUp(Qt::MouseButton, int, int) {
    ThumbDrag = false;
    BarDrag = false;
    if (FOnEndChange) FOnEndChange(this);
    CloseForm();
}

void TFPickPct::Image1MouseDown(Qt::MouseButton, int, int) {
    ThumbDrag = true;
    BarDrag = true;
}

void TFPickPct::Image1MouseMove(int X, int) {
    if (ThumbDrag) MoveThumbTo(X + Image1.Left);
}

void TFPickPct::Image1MouseUp(Qt::MouseButton Button, int X, int Y) {
    FormMouseUp(Button, X, Y);
}

TFPickPct::TTarget TFPickPct::Hit(const QPoint& Client) const {
    const int clientHeight = height() - 2 * FrameWidth;
    if (Client.x() < 0 || Client.y() < 0 || Client.x() >= ClientWidth || Client.y() >= clientHeight)
        return TTarget::None;
    return Image1.Contains(Client.x(), Client.y()) ? TTarget::Thumb : TTarget::Form;
}

// The picker grabs the mouse while it is shown, so events arrive from anywhere: those over its
// client area go to the component under the pointer, those after a press on it to the
// component pressed, the rest are dropped (the rest of the program is blocked meanwhile).
// A release that reaches the thumb or the form, whichever it is, ends the drag, fires
// OnEndChange with the position as it then is, and closes the picker (rejected): the release of
// a press on the picker wherever the pointer is then, or a release over its client area. The
// release of the click that opened it, outside its client area, keeps it open.
void TFPickPct::Dispatch(QMouseEvent* Event) {
    const QPoint client = Event->position().toPoint() - ClientOrigin();
    TTarget target = FCapture != TTarget::None ? FCapture : Hit(client);
    // A drag that left the picker, or a pointer level with it past one end of the bar, still
    // moves the thumb (to that end).
    const int clientHeight = height() - 2 * FrameWidth;
    if (target == TTarget::None && Event->type() == QEvent::MouseMove &&
        (Event->buttons() != Qt::NoButton || (client.y() >= 0 && client.y() < clientHeight)))
        target = TTarget::Form;
    const int tx = client.x() - Image1.Left;
    const int ty = client.y() - Image1.Top;
    switch (Event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        FCapture = target;
        if (target == TTarget::Thumb) Image1MouseDown(Event->button(), tx, ty);
        if (target == TTarget::Form) FormMouseDown(Event->button(), client.x(), client.y());
        break;
    case QEvent::MouseMove:
        if (target == TTarget::Thumb) Image1MouseMove(tx, ty);
        if (target == TTarget::Form) FormMouseMove(client.x(), client.y());
        break;
    case QEvent::MouseButtonRelease:
        if (Event->buttons() == Qt::NoButton) FCapture = TTarget::None;
        if (target == TTarget::Thumb) Image1MouseUp(Event->button(), tx, ty);
        if (target == TTarget::Form) FormMouseUp(Event->button(), client.x(), client.y());
        break;
    default:
        break;
    }
}

void TFPickPct::mousePressEvent(QMouseEvent* Event) {
    Dispatch(Event);
}

void TFPickPct::mouseMoveEvent(QMouseEvent* Event) {
    Dispatch(Event);
}

void TFPickPct::mouseReleaseEvent(QMouseEvent* Event) {
    Dispatch(Event);
}

void TFPickPct::mouseDoubleClickEvent(QMouseEvent* Event) {
    Dispatch(Event);
}

void TFPickPct::keyPressEvent(QKeyEvent* Event) {
    // No key closes the picker, Escape included: only a mouse release does (see Dispatch).
    if (Event->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(Event);
}

void TFPickPct::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    FCapture = TTarget::None;
    // The window system grants the grab only to a window on the screen: taken at the first paint.
    FGrabPending = true;
}

void TFPickPct::hideEvent(QHideEvent* Event) {
    FGrabPending = false;
    if (QWidget::mouseGrabber() == this) releaseMouse();
    FCapture = TTarget::None;
    QDialog::hideEvent(Event);
}

void TFPickPct::paintEvent(QPaintEvent*) {
    if (FGrabPending) {
        FGrabPending = false;
        grabMouse();
    }
    QPainter painter(this);
    const int w = width();
    const int h = height();
    painter.fillRect(rect(), ColorToQColor(clBtnFace));
    // A raised dialog frame: light outer and inner top-left edges, dark bottom-right ones.
    auto frame = [&](int inset, TColor light, TColor dark) {
        const int x1 = inset, y1 = inset, x2 = w - 1 - inset, y2 = h - 1 - inset;
        painter.fillRect(x1, y1, x2 - x1 + 1, 1, ColorToQColor(light));
        painter.fillRect(x1, y1, 1, y2 - y1 + 1, ColorToQColor(light));
        painter.fillRect(x1, y2, x2 - x1 + 1, 1, ColorToQColor(dark));
        painter.fillRect(x2, y1, 1, y2 - y1 + 1, ColorToQColor(dark));
    };
    frame(0, cl3DLight, cl3DDkShadow);
    frame(1, clBtnHighlight, clBtnShadow);

    painter.translate(ClientOrigin());
    // The bar: a lowered line along the bevel's bottom.
    painter.fillRect(Bevel1.Left, Bevel1.Top + Bevel1.Height - 2, Bevel1.Width, 1,
                     ColorToQColor(clBtnShadow));
    painter.fillRect(Bevel1.Left, Bevel1.Top + Bevel1.Height - 1, Bevel1.Width, 1,
                     ColorToQColor(clBtnHighlight));
    painter.drawImage(Image1.Left, Image1.Top, FThumb);
}
