// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/InputEvents.h"

#include "platform/rtl/Exception.h"

#include <cstdio>
#include <exception>
#include <utility>

bool MouseButtonOf(Qt::MouseButton Button, TMouseButton& Result) {
    switch (Button) {
    case Qt::LeftButton:
        Result = mbLeft;
        return true;
    case Qt::RightButton:
        Result = mbRight;
        return true;
    case Qt::MiddleButton:
        Result = mbMiddle;
        return true;
    default:
        return false;
    }
}

TShiftState ShiftStateOf(Qt::KeyboardModifiers Modifiers, Qt::MouseButtons Buttons) {
    TShiftState result = 0;
    if (Modifiers & Qt::ShiftModifier) result |= ssShift;
    if (Modifiers & Qt::AltModifier) result |= ssAlt;
    if (Modifiers & Qt::ControlModifier) result |= ssCtrl;
    if (Buttons & Qt::LeftButton) result |= ssLeft;
    if (Buttons & Qt::RightButton) result |= ssRight;
    if (Buttons & Qt::MiddleButton) result |= ssMiddle;
    return result;
}

uint16_t VirtualKeyOf(int QtKey) {
    if (QtKey >= Qt::Key_A && QtKey <= Qt::Key_Z) return static_cast<uint16_t>('A' + (QtKey - Qt::Key_A));
    if (QtKey >= Qt::Key_0 && QtKey <= Qt::Key_9) return static_cast<uint16_t>('0' + (QtKey - Qt::Key_0));
    if (QtKey >= Qt::Key_F1 && QtKey <= Qt::Key_F12)
        return static_cast<uint16_t>(VK_F1 + (QtKey - Qt::Key_F1));
    switch (QtKey) {
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Tab:
        return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
        return VK_MENU;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    default:
        return 0;
    }
}

namespace {
TEventErrorHook& EventErrorHook() {
    static TEventErrorHook hook;
    return hook;
}

// Runs Handler; returns the message of what escaped it (EAbort aside), written to stderr.
std::string RunGuarded(const std::function<void()>& Handler) {
    std::string message;
    try {
        Handler();
        return {};
    } catch (const EAbort&) {
        return {};
    } catch (const std::exception& E) {
        message = ErrorMessage(E);
        if (message.empty()) message = "An operation failed without saying why";
    } catch (...) {
        message = "An operation failed without saying why";
    }
    std::fprintf(stderr, "quorvelle: %s\n", message.c_str());
    return message;
}
} // namespace

void SetEventErrorHook(TEventErrorHook Hook) {
    EventErrorHook() = std::move(Hook);
}

void GuardEvent(const std::function<void()>& Handler) {
    const std::string message = RunGuarded(Handler);
    if (message.empty() || !EventErrorHook()) return;
    // The hook runs outside the handler: a copy survives a hook that replaces itself.
    const TEventErrorHook hook = EventErrorHook();
    try {
        hook(message);
    } catch (...) {
        // The message is on stderr already.
    }
}

void GuardQuietly(const std::function<void()>& Handler) {
    RunGuarded(Handler);
}
