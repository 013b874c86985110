// SPDX-License-Identifier: GPL-3.0-or-later
// The two preset editors are dialogs of the application shell. The managers reach them through
// these hooks, which app/ installs at start-up (tests install their own). A hook creates its
// dialog, hands it the object to edit in place, the caption and the manager's accept function,
// shows it modally, frees it and returns the modal result.
//
// When the user accepts, the dialog calls the accept function, which saves the preset. One that
// raises could not save it: the dialog shows why and stays open with the user's work, so that
// the user can make the folder writable and accept again, or cancel. The dialog gives OK only
// after an accept function that returned.
#pragma once

#include <functional>
#include <string>

class TQStyle;
class TPattern;

// Modal results of the dialogs: acceptance is 1.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

// What the style editor gives back: its modal result and the text of its name box.
struct TStyleEditorResult {
    int ModalResult = mrNone;
    std::string StyleName;
};

// Saves the edited style under the name typed in the dialog; raises when it cannot.
using TStyleAccept = std::function<void(const std::string& StyleName)>;
// Saves the edited pattern; raises when it cannot.
using TPatternAccept = std::function<void()>;

using TStyleEditorHook =
    std::function<TStyleEditorResult(TQStyle& Style, const std::string& Caption, const TStyleAccept& Accept)>;
using TPatternEditorHook =
    std::function<int(TPattern& Pattern, const std::string& Caption, const TPatternAccept& Accept)>;

// An empty function removes the hook.
void SetStyleEditorHook(TStyleEditorHook Hook);
void SetPatternEditorHook(TPatternEditorHook Hook);

// Run the installed editor; without one, an Exception says that no editor is installed.
TStyleEditorResult RunStyleEditor(TQStyle& Style, const std::string& Caption, const TStyleAccept& Accept);
int RunPatternEditor(TPattern& Pattern, const std::string& Caption, const TPatternAccept& Accept);
