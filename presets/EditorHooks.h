// SPDX-License-Identifier: GPL-3.0-or-later
// The two preset editors are dialogs of the application shell. The managers reach them through
// these hooks, which app/ installs at start-up (tests install their own). A hook creates its
// dialog, hands it the object to edit in place and the caption, shows it modally, frees it and
// returns the modal result.
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

using TStyleEditorHook = std::function<TStyleEditorResult(TQStyle& Style, const std::string& Caption)>;
using TPatternEditorHook = std::function<int(TPattern& Pattern, const std::string& Caption)>;

// An empty function removes the hook.
void SetStyleEditorHook(TStyleEditorHook Hook);
void SetPatternEditorHook(TPatternEditorHook Hook);

// Run the installed editor; without one, an Exception says that no editor is installed.
TStyleEditorResult RunStyleEditor(TQStyle& Style, const std::string& Caption);
int RunPatternEditor(TPattern& Pattern, const std::string& Caption);
