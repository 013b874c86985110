// SPDX-License-Identifier: GPL-3.0-or-later
// Holding the mouse pointer inside a rectangle of the screen while a control is dragged. The
// control that confines grabs the mouse, so every mouse event reaches it wherever the pointer
// goes, and reads each event's position through ConfinedPosition, which clamps it to the
// rectangle. There is one pointer, so there is one confinement at a time.
#pragma once

#include <QPoint>
#include <QRect>

class QWidget;

// Grabs the mouse for Grabber and confines positions to ScreenRect (global coordinates,
// right and bottom edges inside). Replaces an earlier confinement.
void ConfinePointer(QWidget* Grabber, const QRect& ScreenRect);
// Lets the pointer go: the grab ends and positions are no longer clamped.
void FreePointer();
bool PointerConfined();
QRect PointerConfinementRect();

// The client rectangle of Control in screen coordinates.
QRect ClientRectOnScreen(const QWidget* Control);

// A position of an event of Receiver (Receiver's coordinates) clamped to the confinement;
// unchanged while the pointer is free.
QPoint ConfinedPosition(const QWidget* Receiver, const QPoint& LocalPos);
