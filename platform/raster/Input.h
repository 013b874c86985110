// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse and keyboard input as the image views and the tools see it, without any window system:
// the display side (platform/qt) translates its own events into these.
#pragma once

#include <cstdint>
#include <functional>

enum TMouseButton : uint8_t { mbLeft = 0, mbRight = 1, mbMiddle = 2 };

// The keys and buttons held during an event, as a set of flags.
using TShiftState = uint8_t;
constexpr TShiftState ssShift = 0x01;
constexpr TShiftState ssAlt = 0x02;
constexpr TShiftState ssCtrl = 0x04;
constexpr TShiftState ssLeft = 0x08;
constexpr TShiftState ssRight = 0x10;
constexpr TShiftState ssMiddle = 0x20;
// The press is the second one of a double click.
constexpr TShiftState ssDouble = 0x40;

// Key codes of the key events: the classic virtual-key numbers (letters and digits are their
// upper-case ASCII codes).
constexpr uint16_t VK_BACK = 8;
constexpr uint16_t VK_TAB = 9;
constexpr uint16_t VK_RETURN = 13;
constexpr uint16_t VK_SHIFT = 16;
constexpr uint16_t VK_CONTROL = 17;
constexpr uint16_t VK_MENU = 18; // Alt
constexpr uint16_t VK_ESCAPE = 27;
constexpr uint16_t VK_SPACE = 32;
constexpr uint16_t VK_PRIOR = 33; // Page Up
constexpr uint16_t VK_NEXT = 34;  // Page Down
constexpr uint16_t VK_END = 35;
constexpr uint16_t VK_HOME = 36;
constexpr uint16_t VK_LEFT = 37;
constexpr uint16_t VK_UP = 38;
constexpr uint16_t VK_RIGHT = 39;
constexpr uint16_t VK_DOWN = 40;
constexpr uint16_t VK_INSERT = 45;
constexpr uint16_t VK_DELETE = 46;
constexpr uint16_t VK_F1 = 112; // F2 .. F12 follow

// Mouse pointers by number: the shapes the display knows, and above 0 the program's own
// registered cursors.
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crHelp = -20;

// A mouse event of a control: Sender is the control.
using TMouseEvent = std::function<void(void* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
