// SPDX-License-Identifier: GPL-3.0-or-later
// The tool buttons and the style panel's Stop on Borders.
#include "app/QDomain.h"

#include "app/Tools.h"
#include "document/DualImage.h"

void TDomain::PointerCommandExecute(void*) {
    if (ToolManager) ToolManager->SetTool(tiPointer);
    Changed();
}

void TDomain::PatternCommandExecute(void*) {
    if (ToolManager) ToolManager->SetTool(tiPattern);
    Changed();
}

void TDomain::AutoDirCommandExecute(void*) {
    if (ToolManager) ToolManager->SetTool(tiAutoSketch);
    Changed();
}

void TDomain::FreeHandCommandExecute(void*) {
    if (ToolManager) ToolManager->SetTool(tiFreeHand);
    Changed();
}

void TDomain::StopOnBordersCommandExecute(void*) {
    if (!Document) return;
    Document->StopOnBorders = !Document->StopOnBorders;
    StopOnBordersCommand->setChecked(Document->StopOnBorders);
}
