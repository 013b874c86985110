// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/UPickPct.h"

#include "controls/ControlPictures.h"
#include "platform/qt/Colors.h"
#include "platform/rtl/Round.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

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
    : QDialog(Owner, Qt::Popup | Qt::FramelessWindowHint), FThumb(ThumbPicture()) {
    setObjectName(QStringLiteral("FPickPct"));
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

// A pop-up, not a modal dialog: the program's windows stay unblocked, so a request to close one of
// them reaches it (and closes the picker first, see eventFilter), while the pop-up takes every
// mouse and key event.
int TFPickPct::ShowModal() {
    setResult(QDialog::Rejected);
    show();
    if (!isVisible()) return result();
    QEventLoop loop;
    FLoop = &loop;
    QPointer<TFPickPct> alive(this);
    loop.exec(QEventLoop::DialogExec);
    if (!alive) return QDialog::Rejected;
    FLoop = nullptr;
    return result();
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

void TFPickPct::FireEndChange() {
    ThumbDrag = false;
    BarDrag = false;
    if (!FChoosing) return;
    FChoosing = false;
    if (FOnEndChange) FOnEndChange(this);
}

void TFPickPct::EndChoice(bool Restore) {
    // Through SetPosition, so the box and its handlers take the restored value too.
    if (Restore && FPosition != FOpening) SetPosition(FOpening);
    FireEndChange();
    CloseForm();
}

void TFPickPct::FormMouseDown(Qt::MouseButton, int, int) {
    ThumbDrag = true;
}

void TFPickPct::FormMouseMove(int X, int) {
    if (BarDrag) MoveThumbTo(X);
}

void TFPickPct::FormMouseUp(Qt::MouseButton, int, int) {
    EndChoice(false);
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

// As a pop-up the picker receives every mouse event of the program while it is shown, wherever
// the pointer is. After a press on the thumb or the form, the moves and the release go to the
// component pressed. Otherwise an event over the client area goes to the component under the
// pointer, and a move outside it goes to the form when a button is held or when the pointer is
// level with the client area. A press outside the picker closes it with the value it shows and
// goes no further (see eventFilter). The rest is dropped: a press or a release on the frame, a
// release outside the client area when no press was made on the picker (so the release of the
// click that opened it keeps it open), and a move above or below it with no button held.
// A release that reaches the thumb or the form, whichever it is, ends the drag, fires
// OnEndChange with the position as it then is, and closes the picker (rejected): the release of
// a press on the picker wherever the pointer is then, or a release over its client area.
void TFPickPct::Dispatch(QMouseEvent* Event) {
    const QPoint client = Event->position().toPoint() - ClientOrigin();
    TTarget target = FCapture != TTarget::None ? FCapture : Hit(client);
    const bool press =
        Event->type() == QEvent::MouseButtonPress || Event->type() == QEvent::MouseButtonDblClick;
    if (press && target == TTarget::None && !rect().contains(Event->position().toPoint())) {
        // Not handed on to the widget under the pointer when the pop-up closes. Its drag and its
        // release go nowhere either: Qt gives them only to the widget that took their press.
        setAttribute(Qt::WA_NoMouseReplay);
        EndChoice(false);
        return;
    }
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

// Esc cancels: the picker closes with the value it had when it opened, and the box and its
// handlers take that value back (the thumb follows even a pointer that only passes level with the
// bar, so the value may have changed unmeant). Enter closes it with the value shown.
void TFPickPct::keyPressEvent(QKeyEvent* Event) {
    switch (Event->key()) {
    case Qt::Key_Escape:
        EndChoice(true);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        EndChoice(false);
        return;
    default:
        QDialog::keyPressEvent(Event);
    }
}

bool TFPickPct::eventFilter(QObject* Watched, QEvent* Event) {
    // The window's close request is answered as usual, with the picker closed first.
    if (Event->type() == QEvent::Close && Watched != this && Watched->isWidgetType()) {
        const auto* window = static_cast<QWidget*>(Watched);
        if (window->isWindow() && window->isVisible()) EndChoice(false);
    }
    return QDialog::eventFilter(Watched, Event);
}

void TFPickPct::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    FCapture = TTarget::None;
    FOpening = FPosition;
    FChoosing = true;
    qApp->installEventFilter(this);
}

void TFPickPct::hideEvent(QHideEvent* Event) {
    FCapture = TTarget::None;
    // However it closed (also when the system closed the pop-up), the choice has ended.
    FireEndChange();
    qApp->removeEventFilter(this);
    if (FLoop) FLoop->quit();
    QDialog::hideEvent(Event);
}

void TFPickPct::paintEvent(QPaintEvent*) {
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
