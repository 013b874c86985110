// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ErrorReports.h"

#include "app/ApplicationTitle.h"
#include "app/ShellServices.h"
#include "platform/qt/InputEvents.h"

#include <QApplication>
#include <QMouseEvent>

TErrorReports::TErrorReports() {
    SetEventErrorHook([this](const std::string& Message) { Report(Message); });
    qApp->installEventFilter(this);
}

TErrorReports::~TErrorReports() {
    qApp->removeEventFilter(this);
    SetEventErrorHook(nullptr);
}

bool TErrorReports::eventFilter(QObject* Receiver, QEvent* Event) {
    const QEvent::Type type = Event->type();
    // What the user does inside a box only closes it.
    if (!FShowing &&
        (type == QEvent::KeyPress || type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick))
        FUserActed = true;
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
        type == QEvent::MouseButtonRelease) {
        const bool down = static_cast<QMouseEvent*>(Event)->buttons() != Qt::NoButton;
        if (down && !FButtonsDown) FGestureReported = false;
        FButtonsDown = down;
        // The release reaches its receiver first; the waiting failure shows after that.
        if (!down && !FPending.empty())
            QMetaObject::invokeMethod(
                this, [this] { ShowPending(); }, Qt::QueuedConnection);
    }
    return QObject::eventFilter(Receiver, Event);
}

void TErrorReports::Report(const std::string& Message) {
    if (FButtonsDown) {
        if (!FGestureReported) FPending = Message;
        FGestureReported = true;
        return;
    }
    Show(Message);
}

void TErrorReports::ShowPending() {
    if (FButtonsDown || FPending.empty()) return;
    std::string message;
    message.swap(FPending);
    Show(message);
}

void TErrorReports::Show(const std::string& Message) {
    if (FShowing) return;
    // The same failure again without anything the user did since the last box: something that
    // fails by itself as the box goes (a repaint), which would otherwise never let the user go.
    if (Message == FLastShown && !FUserActed) return;
    FShowing = true;
    struct TClosed {
        TErrorReports& Self;
        ~TClosed() {
            Self.FShowing = false;
            Self.FUserActed = false;
        }
    } closed{*this};
    FLastShown = Message;
    MessageBox(QMessageBox::Critical, ApplicationTitle, Message);
}
