// SPDX-License-Identifier: GPL-3.0-or-later
// The program's numbered cursors: the program registers its own cursors under numbers, and a
// control that names a number shows whatever cursor that slot holds when the pointer enters it.
#pragma once

#include <QCursor>

void SetScreenCursor(int Index, const QCursor& Cursor);
// The cursor of a slot; the arrow for an empty slot.
QCursor ScreenCursor(int Index);
