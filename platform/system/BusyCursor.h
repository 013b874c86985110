// SPDX-License-Identifier: GPL-3.0-or-later
// The hourglass for long work on the GUI thread. The lower layers ask for it through a hook
// that app/ installs at start-up; without a hook nothing is shown.
#pragma once

#include <functional>

// Called with true when the hourglass should appear, with false when the default cursor
// should come back.
using TBusyCursorHook = std::function<void(bool Busy)>;

// An empty function removes the hook.
void SetBusyCursorHook(TBusyCursorHook Hook);

// Shows the hourglass for its lifetime and the default cursor afterwards, also when an
// exception leaves the scope.
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};
