// SPDX-License-Identifier: GPL-3.0-or-later
// The View menu: the overlays of borders and directions over the drawing.
#include "app/QDomain.h"

#include "document/DualImage.h"

void TDomain::ViewBordersCommandExecute(void*) {
    if (!Document) return;
    Document->SetViewBorders(!Document->ViewBorders());
    ViewBordersCommand->setChecked(Document->ViewBorders());
}

void TDomain::ViewDirectionsCommandExecute(void*) {
    if (!Document) return;
    Document->SetViewDirections(!Document->ViewDirections());
    ViewDirectionsCommand->setChecked(Document->ViewDirections());
}
