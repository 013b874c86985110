// SPDX-License-Identifier: GPL-3.0-or-later
// Window colours as forms and controls store them: $00BBGGRR (red in the low byte), or a system
// colour ($FF0000nn, nn the system colour's number) that is resolved when drawn.
#pragma once

#include "platform/raster/Color32.h"

#include <QColor>
#include <cstdint>

using TColor = int32_t;

constexpr TColor RGBToColor(uint8_t R, uint8_t G, uint8_t B) {
    return static_cast<TColor>(R | (G << 8) | (B << 16));
}

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;

constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;

constexpr bool IsSystemColor(TColor C) {
    return (static_cast<uint32_t>(C) & 0xFF000000u) == 0xFF000000u;
}

// The colour as drawn: a system colour comes from the application's palette.
QColor ColorToQColor(TColor C);
// The same as an opaque raster colour.
TColor32 ColorToColor32(TColor C);

// Hue, saturation and lightness (0..1, single precision) of a window colour, by the raster
// library's RGBtoHSL. A system colour is taken as its raw value, not resolved.
void ColorToHSL(TColor C, float& H, float& S, float& L);
// The window colour of a hue, saturation and lightness, by the raster library's HSLToRGBBytes.
TColor HSLToColor(float H, float S, float L);
