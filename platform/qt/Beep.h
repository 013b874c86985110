// SPDX-License-Identifier: GPL-3.0-or-later
// The system beep of a refused action.
#pragma once

#include <functional>

// Sounds the desktop's beep, or calls the installed handler instead.
void MessageBeep();
// Tests count beeps through a handler; an empty one restores the desktop's beep.
void SetBeepHandler(std::function<void()> Handler);
