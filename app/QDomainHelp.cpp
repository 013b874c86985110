// SPDX-License-Identifier: GPL-3.0-or-later
// The Help menu: the manual, "What is this?" and the About box.
#include "app/QDomain.h"

#include "app/Tools.h"
#include "app/UFormAbout.h"

void TDomain::HelpCommandExecute(void* Sender) {
    HelpCmdExecute(Sender);
}

void TDomain::HelpCmdExecute(void*) {
    // Without a browser for the manual nothing would appear at all; say where it lies instead.
    if (!ShellOpen(HelpCmdFileName))
        MessageBox(QMessageBox::Information, "Help",
                   "No program could open the manual. It is the file " + HelpCmdFileName);
}

void TDomain::ContextHelpCommandExecute(void*) {
    if (ToolManager) ToolManager->SetTool(tiNone);
    if (OnContextHelp) OnContextHelp(this);
}

void TDomain::AboutCommandExecute(void*) {
    if (FAbout != nullptr) FAbout->exec();
}
