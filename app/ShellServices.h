// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop services the commands and windows ask for: message boxes, file dialogs, opening a
// file with the desktop and ending the application. Each goes through a hook, so tests answer
// the questions instead of a person; without a hook the real Qt dialog or service runs.
#pragma once

#include <QMessageBox>

#include <functional>
#include <optional>
#include <string>

// ---- the owner of dialogs -----------------------------------------------------------------------

// The window a dialog or message box of the program is shown for, so that the desktop stacks it
// above that window and its tool windows: the open modal dialog when there is one, else the
// active window (for a tool window, the window it belongs to), else the main window.
QWidget* DialogParent();
// The main window, which takes the dialogs asked for while none of the program's windows is
// active; it is forgotten when it goes.
void SetDialogMainWindow(QWidget* Window);

// ---- message boxes ------------------------------------------------------------------------------

// The hook gets the default button as the box would have it (never NoButton).
using TMessageBoxHook = std::function<QMessageBox::StandardButton(
    QMessageBox::Icon Icon, const std::string& Caption, const std::string& Text,
    QMessageBox::StandardButtons Buttons, QMessageBox::StandardButton DefaultButton)>;
// An empty function restores the real message box.
void SetMessageBoxHook(TMessageBoxHook Hook);

// A modal message box with that icon, caption, text and buttons; returns the button pressed,
// or Cancel / No / OK for a box closed otherwise (its escape button). DefaultButton is the one
// Enter presses; NoButton makes it the first of the row (OK, Yes, No, Cancel). A question that
// throws work away gives its safe answer (Cancel, No) as the default, which Escape gives too.
QMessageBox::StandardButton MessageBox(QMessageBox::Icon Icon, const std::string& Caption,
                                       const std::string& Text,
                                       QMessageBox::StandardButtons Buttons = QMessageBox::Ok,
                                       QMessageBox::StandardButton DefaultButton = QMessageBox::NoButton);

// ---- file dialogs -------------------------------------------------------------------------------

struct TFileDialogRequest {
    bool Save = false;
    std::string Title;
    // "Description|patterns|Description|patterns", patterns separated by ";".
    std::string Filter;
    std::string DefaultExt;
};
// Returns the chosen name as the user gave it, or nothing when the dialog was cancelled.
using TFileDialogHook = std::function<std::optional<std::string>(const TFileDialogRequest& Request)>;
void SetFileDialogHook(TFileDialogHook Hook);

// The same filter in Qt's notation: "Description (patterns);;...".
std::string QtFileFilter(const std::string& Filter);

// The name a dialog with a default extension returns for Name: unchanged when Name has an
// extension; otherwise with the extension of the file type chosen in the dialog (SelectedFilter,
// in Qt's notation) when that type names one plain extension, else with DefaultExt. Without a
// DefaultExt nothing is appended.
std::string NameWithExtension(const std::string& Name, const std::string& SelectedFilter,
                              const std::string& DefaultExt);

// An open or save dialog. Execute shows it and returns false when the user cancels; otherwise
// FileName holds the choice, completed by NameWithExtension.
class TFileDialog {
public:
    explicit TFileDialog(bool Save) : FSave(Save) {}
    bool Execute();

    std::string Title;
    std::string Filter;
    std::string DefaultExt;
    std::string FileName;
    // The file type chosen at the last showing (Qt's notation); the next showing starts with it.
    std::string SelectedFilter;

private:
    bool FSave;
};

// ---- desktop ------------------------------------------------------------------------------------

// Opens the file with the desktop's program for it (the "open" operation); false when none.
using TShellOpenHook = std::function<bool(const std::string& FileName)>;
void SetShellOpenHook(TShellOpenHook Hook);
bool ShellOpen(const std::string& FileName);

// Tells the application to end: its event loop returns after the current event.
using TTerminateHook = std::function<void()>;
void SetTerminateHook(TTerminateHook Hook);
void TerminateApplication();
