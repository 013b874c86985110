// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/raster/HSL.h"

#include "platform/rtl/Round.h"

#include <algorithm>
#include <cmath>

// Each assignment to a float below is a step held in single precision; the expressions on the
// right are evaluated in double.

void RGBtoHSL(TColor32 RGB, float& H, float& S, float& L) {
    const float r = static_cast<float>(RedComponent(RGB) / 255.0);
    const float g = static_cast<float>(GreenComponent(RGB) / 255.0);
    const float b = static_cast<float>(BlueComponent(RGB) / 255.0);
    const float cmax = std::max({r, g, b});
    const float cmin = std::min({r, g, b});
    L = static_cast<float>((static_cast<double>(cmax) + cmin) / 2.0);
    if (cmax == cmin) {
        H = 0;
        S = 0;
        return;
    }
    const float d = static_cast<float>(static_cast<double>(cmax) - cmin);
    if (L < 0.5)
        S = static_cast<float>(d / (static_cast<double>(cmax) + cmin));
    else
        S = static_cast<float>(d / (2.0 - cmax - cmin));
    float h;
    if (r == cmax)
        h = static_cast<float>((static_cast<double>(g) - b) / d);
    else if (g == cmax)
        h = static_cast<float>(2.0 + (static_cast<double>(b) - r) / d);
    else
        h = static_cast<float>(4.0 + (static_cast<double>(r) - g) / d);
    h = static_cast<float>(h / 6.0);
    if (h < 0) h = static_cast<float>(h + 1.0);
    H = h;
}

namespace {
uint8_t HueToByte(float h, float m1, float m2) {
    h = static_cast<float>(h - std::floor(static_cast<double>(h)));
    double v;
    if (6.0 * h < 1.0)
        v = m1 + (static_cast<double>(m2) - m1) * h * 6.0;
    else if (2.0 * h < 1.0)
        v = m2;
    else if (3.0 * h < 2.0)
        v = m1 + (static_cast<double>(m2) - m1) * (2.0 / 3.0 - h) * 6.0;
    else
        v = m1;
    return static_cast<uint8_t>(Round(255.0 * v));
}
} // namespace

void HSLToRGBBytes(uint8_t& R, uint8_t& G, uint8_t& B, float H, float S, float L) {
    if (S == 0) {
        R = G = B = static_cast<uint8_t>(Round(255.0 * L));
        return;
    }
    float m2;
    if (L <= 0.5)
        m2 = static_cast<float>(L * (1.0 + S));
    else
        m2 = static_cast<float>(static_cast<double>(L) + S - static_cast<double>(L) * S);
    const float m1 = static_cast<float>(2.0 * L - m2);
    R = HueToByte(static_cast<float>(H + 1.0 / 3.0), m1, m2);
    G = HueToByte(H, m1, m2);
    B = HueToByte(static_cast<float>(H - 1.0 / 3.0), m1, m2);
}

TColor32 HSLtoRGB(float H, float S, float L, uint8_t A) {
    uint8_t r, g, b;
    HSLToRGBBytes(r, g, b, H, S, L);
    return Color32(r, g, b, A);
}
