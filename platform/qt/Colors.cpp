// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/Colors.h"

#include "platform/raster/HSL.h"

#include <QGuiApplication>
#include <QPalette>

namespace {
// The palette role that stands for a system colour number.
QPalette::ColorRole SystemRole(int Number) {
    switch (Number) {
    case 5:
        return QPalette::Base;
    case 8:
        return QPalette::WindowText;
    case 13:
        return QPalette::Highlight;
    case 14:
        return QPalette::HighlightedText;
    case 16:
        return QPalette::Dark;
    case 18:
        return QPalette::ButtonText;
    case 20:
        return QPalette::Light;
    case 21:
        return QPalette::Shadow;
    case 22:
        return QPalette::Midlight;
    case 15:
    default:
        return QPalette::Button;
    }
}
} // namespace

QColor ColorToQColor(TColor C) {
    const uint32_t u = static_cast<uint32_t>(C);
    if (IsSystemColor(C)) return QGuiApplication::palette().color(SystemRole(static_cast<int>(u & 0xFF)));
    return QColor(static_cast<int>(u & 0xFF), static_cast<int>((u >> 8) & 0xFF),
                  static_cast<int>((u >> 16) & 0xFF));
}

TColor32 ColorToColor32(TColor C) {
    const QColor q = ColorToQColor(C);
    return Color32(static_cast<uint8_t>(q.red()), static_cast<uint8_t>(q.green()),
                   static_cast<uint8_t>(q.blue()));
}

void ColorToHSL(TColor C, float& H, float& S, float& L) {
    const uint32_t u = static_cast<uint32_t>(C);
    RGBtoHSL(Color32(static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16)), H,
             S, L);
}

TColor HSLToColor(float H, float S, float L) {
    uint8_t r, g, b;
    HSLToRGBBytes(r, g, b, H, S, L);
    return RGBToColor(r, g, b);
}
