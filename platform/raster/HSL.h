// SPDX-License-Identifier: GPL-3.0-or-later
// Conversions between RGB and hue, saturation, lightness (each 0..1).
#pragma once

#include "platform/raster/Color32.h"

#include <cstdint>

// H, S, L of a raster colour (alpha ignored), in single precision; H in [0, 1), grey gives
// H = S = 0.
void RGBtoHSL(TColor32 RGB, float& H, float& S, float& L);

// The bytes of a hue, saturation and lightness. S = 0 exactly gives grey Round(255 x L).
void HSLToRGBBytes(uint8_t& R, uint8_t& G, uint8_t& B, float H, float S, float L);

// The same as an opaque colour (alpha 255 unless given).
TColor32 HSLtoRGB(float H, float S, float L, uint8_t A = 0xFF);
