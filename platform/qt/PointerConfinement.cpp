// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/PointerConfinement.h"

#include <QPointer>
#include <QWidget>

#include <algorithm>

namespace {
QPointer<QWidget> gGrabber;
QRect gRect;
bool gConfined = false;
} // namespace

void ConfinePointer(QWidget* Grabber, const QRect& ScreenRect) {
    if (gConfined && gGrabber && gGrabber != Grabber) gGrabber->releaseMouse();
    gGrabber = Grabber;
    gRect = ScreenRect;
    gConfined = true;
    if (Grabber) Grabber->grabMouse();
}

void FreePointer() {
    if (gGrabber && QWidget::mouseGrabber() == gGrabber) gGrabber->releaseMouse();
    gGrabber = nullptr;
    gRect = QRect();
    gConfined = false;
}

bool PointerConfined() {
    return gConfined;
}

QRect PointerConfinementRect() {
    return gRect;
}

QRect ClientRectOnScreen(const QWidget* Control) {
    return QRect(Control->mapToGlobal(QPoint(0, 0)), Control->size());
}

QPoint ConfinedPosition(const QWidget* Receiver, const QPoint& LocalPos) {
    if (!gConfined || gRect.isEmpty()) return LocalPos;
    const QPoint global = Receiver->mapToGlobal(LocalPos);
    const QPoint clamped(std::clamp(global.x(), gRect.left(), gRect.right()),
                         std::clamp(global.y(), gRect.top(), gRect.bottom()));
    return Receiver->mapFromGlobal(clamped);
}
