// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/QuorSlider.h"

#include "controls/ControlPictures.h"
#include "platform/qt/PointerConfinement.h"
#include "platform/rtl/Round.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>
#include <utility>

TQuorSlider::TQuorSlider(QWidget* Owner) : QWidget(Owner) {
    // Opaque: the slider paints its whole area.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(191, 11);
    FImageThumb = LoadControlPicture(QStringLiteral("QUORTHUMB"));
    FImageRuler = LoadControlPicture(QStringLiteral("QUORRULER"));
    UpdateScale();
    FSplitTimer = std::make_unique<QTimer>();
    FSplitTimer->setInterval(10);
    QObject::connect(FSplitTimer.get(), &QTimer::timeout, this, [this] { ThumbTimer(); });
    FSplitTimer->start();
    SetAutoSize(true);
}

TQuorSlider::~TQuorSlider() {
    if (FDragging) FreePointer();
}

void TQuorSlider::SetImageRuler(const QImage& Picture) {
    FImageRuler = Picture.convertToFormat(QImage::Format_ARGB32);
    if (FImageRuler.width() >= 1 && FImageRuler.height() >= 1 && FAutoSize) {
        resize(FImageRuler.size());
        updateGeometry();
    }
    update();
    UpdateScale();
}

void TQuorSlider::SetImageThumb(const QImage& Picture) {
    FImageThumb = Picture.convertToFormat(QImage::Format_ARGB32);
    SplitThumb();
}

void TQuorSlider::SetAutoSize(bool Value) {
    FAutoSize = Value;
    int w = width(), h = height();
    if (CanAutoSize(w, h)) {
        resize(w, h);
        updateGeometry();
    }
}

bool TQuorSlider::CanAutoSize(int& NewWidth, int& NewHeight) const {
    if (!FAutoSize || FImageRuler.width() < 1 || FImageRuler.height() < 1) return false;
    NewWidth = FImageRuler.width();
    NewHeight = FImageRuler.height();
    return true;
}

QSize TQuorSlider::sizeHint() const {
    int w = 191, h = 11;
    return CanAutoSize(w, h) ? QSize(w, h) : size();
}

void TQuorSlider::SetMaximum(int Value) {
    FMaximum = Value;
    if (FPosition > FMaximum) FPosition = FMaximum;
    UpdateScale();
    SetPosition(FPosition);
}

void TQuorSlider::SetPosition(int Value) {
    if (Value > FMaximum) Value = FMaximum;
    if (Value < 0) Value = 0;
    FPosition = Value;
    if (!FDragging) {
        UpdateScale();
        update();
    }
}

// Pixels per unit of Position. A Maximum of 0 gives no scale instead of a division by zero.
void TQuorSlider::UpdateScale() {
    const double room = Horizontal ? width() - FThumbShown.width() : height() - FThumbShown.height();
    FScale = FMaximum != 0 ? room / FMaximum : 0.0;
}

void TQuorSlider::SplitThumb() {
    const int half = FImageThumb.width() / 2;
    const int h = FImageThumb.height();
    FThumbShown = FImageThumb.copy(0, 0, half, h);
    // The right half goes into the same width: squeezed by one column when the width is odd.
    const QImage right = FImageThumb.copy(half, 0, FImageThumb.width() - half, h);
    FThumbSpare =
        half > 0 && h > 0 ? right.scaled(half, h, Qt::IgnoreAspectRatio, Qt::FastTransformation) : QImage();
    update();
    UpdateScale();
}

void TQuorSlider::ThumbTimer() {
    FSplitTimer->stop();
    SetImageThumb(FImageThumb);
    SplitThumb();
    UpdateScale();
    // Freed once its work is done; it is inside its own signal, so later.
    FSplitTimer.release()->deleteLater();
}

void TQuorSlider::resizeEvent(QResizeEvent*) {
    UpdateScale();
}

void TQuorSlider::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    const int w = width();
    const int h = height();
    if (!FImageRuler.isNull())
        canvas.drawImage(QRect(0, 0, w, h), FImageRuler);
    else
        canvas.fillRect(rect(), palette().window());
    if (FThumbShown.isNull()) return;
    const int tw = FThumbShown.width();
    const int th = FThumbShown.height();
    int x, y;
    if (Horizontal) {
        x = Round(FPosition * FScale);
        y = h >= th ? (h - th) / 2 : 0;
    } else {
        x = w >= tw ? (w - tw) / 2 : 0;
        y = Round(FPosition * FScale);
    }
    canvas.setCompositionMode(QPainter::CompositionMode_Source);
    canvas.drawImage(x, y, FThumbShown);
}

void TQuorSlider::SwapThumbs() {
    std::swap(FThumbShown, FThumbSpare);
}

void TQuorSlider::mousePressEvent(QMouseEvent*) {
    FDragging = true;
    ConfinePointer(this, ClientRectOnScreen(this));
    if (OnBeginChange) OnBeginChange(this);
    if (!FSwapped) {
        SwapThumbs();
        FSwapped = true;
    }
    update();
}

void TQuorSlider::mouseMoveEvent(QMouseEvent* Event) {
    if (!FDragging || !(Event->buttons() & Qt::LeftButton)) return;
    const QPoint p = ConfinedPosition(this, Event->position().toPoint());
    // Along the slider and across it.
    const int along = Horizontal ? p.x() : p.y();
    const int across = Horizontal ? p.y() : p.x();
    const int thumbAcross = Horizontal ? FThumbShown.height() : FThumbShown.width();
    const int thumbAlong = Horizontal ? FThumbShown.width() : FThumbShown.height();
    if ((across < 0 || across > thumbAcross) && !FMoved) {
        update();
        return;
    }
    const int offset = along - thumbAlong / 2;
    // Without a positive scale no position answers the pointer.
    if (offset > 0 && FScale > 0 && std::isfinite(FScale)) {
        FMoved = true;
        const double units = offset / FScale;
        FPosition = units >= FMaximum ? FMaximum : Round(units);
        if (OnChanged) OnChanged(this);
        update();
    }
    update();
}

void TQuorSlider::mouseReleaseEvent(QMouseEvent*) {
    FDragging = false;
    FMoved = false;
    FreePointer();
    if (FSwapped) {
        SwapThumbs();
        FSwapped = false;
    }
    update();
    if (OnStopChanged) OnStopChanged(this);
}
