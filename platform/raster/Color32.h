// SPDX-License-Identifier: GPL-3.0-or-later
// 32-bit colours, $AARRGGBB, the pixel word of every bitmap.
#pragma once

#include <cstdint>

using TColor32 = uint32_t;

constexpr TColor32 Color32(uint8_t R, uint8_t G, uint8_t B, uint8_t A = 0xFF) {
    return (static_cast<TColor32>(A) << 24) | (static_cast<TColor32>(R) << 16) |
           (static_cast<TColor32>(G) << 8) | static_cast<TColor32>(B);
}

constexpr uint8_t AlphaComponent(TColor32 C) {
    return static_cast<uint8_t>(C >> 24);
}
constexpr uint8_t RedComponent(TColor32 C) {
    return static_cast<uint8_t>(C >> 16);
}
constexpr uint8_t GreenComponent(TColor32 C) {
    return static_cast<uint8_t>(C >> 8);
}
constexpr uint8_t BlueComponent(TColor32 C) {
    return static_cast<uint8_t>(C);
}

// A Windows colour word is $00BBGGRR. Converting one gives an opaque colour; WinColor drops alpha.
using TWinColor = uint32_t;
constexpr TColor32 Color32FromWin(TWinColor C) {
    return Color32(static_cast<uint8_t>(C), static_cast<uint8_t>(C >> 8), static_cast<uint8_t>(C >> 16));
}
constexpr TWinColor WinColor(TColor32 C) {
    return static_cast<TWinColor>(RedComponent(C)) | (static_cast<TWinColor>(GreenComponent(C)) << 8) |
           (static_cast<TWinColor>(BlueComponent(C)) << 16);
}

constexpr TColor32 clBlack32 = 0xFF000000;
constexpr TColor32 clWhite32 = 0xFFFFFFFF;
constexpr TColor32 clRed32 = 0xFFFF0000;
constexpr TColor32 clGreen32 = 0xFF00FF00;
constexpr TColor32 clBlue32 = 0xFF0000FF;
constexpr TColor32 clGray32 = 0xFF808080;
constexpr TColor32 clTransparent32 = 0x00000000;

// Foreground F over background B with weight W (0..255): every channel, alpha included, moves
// from B toward F by W / 255, rounded to nearest. W = 0 keeps B, W = 255 gives F.
inline TColor32 BlendChannels(TColor32 F, TColor32 B, uint32_t W) {
    const uint32_t iw = 255 - W;
    // Two channels at a time in 16-bit lanes: (f * w + b * (255 - w) + 128) / 255, rounded.
    auto mix = [&](uint32_t f, uint32_t b) {
        uint32_t t = f * W + b * iw + 0x00800080u;
        t = (t + ((t >> 8) & 0x00FF00FFu)) >> 8;
        return t & 0x00FF00FFu;
    };
    const uint32_t rb = mix(F & 0x00FF00FFu, B & 0x00FF00FFu);
    const uint32_t ag = mix((F >> 8) & 0x00FF00FFu, (B >> 8) & 0x00FF00FFu);
    return rb | (ag << 8);
}
