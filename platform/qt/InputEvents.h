// SPDX-License-Identifier: GPL-3.0-or-later
// Qt's input as the image views and the tools see it: mouse buttons, the held keys and buttons,
// and the classic virtual-key numbers of the keys.
#pragma once

#include "platform/raster/Input.h"

#include <QtCore/qnamespace.h>

#include <cstdint>
#include <functional>
#include <string>

// The button of a press or release; false for buttons the views do not know.
bool MouseButtonOf(Qt::MouseButton Button, TMouseButton& Result);
TShiftState ShiftStateOf(Qt::KeyboardModifiers Modifiers, Qt::MouseButtons Buttons);
// The virtual-key number of a Qt key; 0 for keys without one here.
uint16_t VirtualKeyOf(int QtKey);

// Runs an event handler of the model or the program at the border to Qt's event loop, which an
// exception must not cross: a silent abort ends the handler quietly; the message of any other
// exception ("Out of memory" for memory that ran out) is written to stderr and handed to the
// error hook, which shows it to the user.
void GuardEvent(const std::function<void()>& Handler);
// The same for work the user did not ask for (idle work): a failure is written to stderr only.
void GuardQuietly(const std::function<void()>& Handler);

// What GuardEvent does with the message of a failure besides writing it to stderr; none by
// default. An empty function removes the hook. The hook must not raise.
using TEventErrorHook = std::function<void(const std::string& Message)>;
void SetEventErrorHook(TEventErrorHook Hook);
