// SPDX-License-Identifier: GPL-3.0-or-later
// The commands of the style and pattern panels: New, Edit and Delete.
#include "app/QDomain.h"

#include "platform/rtl/Format.h"
#include "presets/Patterns.h"
#include "presets/Styles.h"

void TDomain::NewPatternCommandExecute(void*) {
    PatternManager->EditorCaption = "Create New Pattern";
    // A new pattern the user did not accept is not kept: it has no file and no thumbnail.
    if (PatternManager->NewIfAccepted() && OnUpdatePattern)
        OnUpdatePattern(this, PatternManager->Count() - 1);
    UpdateActions();
}

void TDomain::EditPatternCommandExecute(void*) {
    PatternManager->EditorCaption = "Edit Current Pattern";
    if (PatternManager->Edit() && OnUpdatePattern) OnUpdatePattern(this, PatternManager->ItemIndex);
}

void TDomain::DelPatternCommandExecute(void*) {
    // Patterns have no names; the one highlighted in the list is meant.
    if (MessageBox(QMessageBox::Warning, "Warning", "Sure to delete the selected pattern?",
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    // The thumbnail goes once the pattern and its file went: a file that cannot be deleted keeps
    // both.
    const int index = PatternManager->ItemIndex;
    PatternManager->Delete();
    if (OnDeletePattern) OnDeletePattern(this, index);
    UpdateActions();
}

void TDomain::NewStyleCommandExecute(void*) {
    StyleManager->EditorCaption = "Create New Style";
    // A new style the user did not accept is not kept: it has no file and no list entry.
    if (StyleManager->NewIfAccepted() && OnUpdateStyle) OnUpdateStyle(this, StyleManager->Count() - 1);
    UpdateActions();
}

void TDomain::EditStyleCommandExecute(void*) {
    StyleManager->EditorCaption = "Edit Current Style";
    if (StyleManager->Edit() && OnUpdateStyle) OnUpdateStyle(this, StyleManager->ItemIndex);
}

void TDomain::DelStyleCommandExecute(void*) {
    const std::string name = StyleManager->Current().Name;
    if (MessageBox(QMessageBox::Warning, "Warning", Format("Sure to delete the style \"%s\"?", name.c_str()),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    // The event comes once the manager has made another style current, so that the window can
    // show and apply that one.
    const int index = StyleManager->ItemIndex;
    StyleManager->Delete();
    if (OnDeleteStyle) OnDeleteStyle(this, index);
    UpdateActions();
}
