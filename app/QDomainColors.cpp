// SPDX-License-Identifier: GPL-3.0-or-later
// The commands of the colour panel: the selected colour as ink, and the two colour modes.
#include "app/QDomain.h"

#include "document/DualImage.h"
#include "engine/QTypes.h"

void TDomain::SelColorExecute(void*) {
    if (!Document || !GetSelectedColor) return;
    Document->SetColor(GetSelectedColor());
    Document->SetColorMode(cmFixedInk);
    Changed();
}

void TDomain::SetColorModeAutoExecute(void*) {
    if (!Document) return;
    Document->SetColorMode(cmSampledColor);
    Changed();
}

void TDomain::SetColorModeCustomExecute(void*) {
    if (!Document) return;
    Document->SetColorMode(cmFixedInk);
    Changed();
}
