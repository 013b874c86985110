// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/Beep.h"

#include <QApplication>

namespace {
std::function<void()>& BeepHandler() {
    static std::function<void()> handler;
    return handler;
}
} // namespace

void MessageBeep() {
    if (BeepHandler())
        BeepHandler()();
    else
        QApplication::beep();
}

void SetBeepHandler(std::function<void()> Handler) {
    BeepHandler() = std::move(Handler);
}
