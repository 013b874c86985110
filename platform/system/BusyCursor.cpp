// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/BusyCursor.h"

#include <utility>

namespace {

TBusyCursorHook& InstalledHook() {
    static TBusyCursorHook hook;
    return hook;
}

void Show(bool Busy) {
    if (InstalledHook()) InstalledHook()(Busy);
}

} // namespace

void SetBusyCursorHook(TBusyCursorHook Hook) {
    InstalledHook() = std::move(Hook);
}

TBusyCursor::TBusyCursor() {
    Show(true);
}

TBusyCursor::~TBusyCursor() {
    // A cursor that cannot be shown must not end the program from a destructor.
    try {
        Show(false);
    } catch (...) {}
}
