// SPDX-License-Identifier: GPL-3.0-or-later
// The face colour of the main window's panels where no background tile is drawn: the panels
// themselves, the pattern grid, the brush preview and the pages of the colour section.
#pragma once

#include "platform/raster/Color32.h"

inline constexpr TColor32 PanelColor = 0xFFDEE5EF;
