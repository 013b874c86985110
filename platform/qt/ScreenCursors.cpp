// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ScreenCursors.h"

#include <map>

namespace {
std::map<int, QCursor>& Cursors() {
    // Kept until the process ends: cursors must not outlive the application's destruction order.
    static auto* cursors = new std::map<int, QCursor>;
    return *cursors;
}
} // namespace

void SetScreenCursor(int Index, const QCursor& Cursor) {
    Cursors()[Index] = Cursor;
}

QCursor ScreenCursor(int Index) {
    const auto it = Cursors().find(Index);
    return it == Cursors().end() ? QCursor(Qt::ArrowCursor) : it->second;
}
