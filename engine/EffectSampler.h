// SPDX-License-Identifier: GPL-3.0-or-later
// Strokes scattered at random over a whole feature bitmap with one set of style parameters: the
// style preview. Each stroke is one direction-field walk of the stroke generator; none is logged.
#pragma once

#include "engine/StrokeSettings.h"
#include "engine/Turtle.h"
#include "platform/raster/Color32.h"

#include <cstdint>

class TBitmap32;

class TEffectSampler {
public:
    // Both bitmaps are borrowed; the caller sets the scale.
    TEffectSampler(const TBitmap32* AFeature, TBitmap32* ADest);

    void SetDefaultHeading(THeading H) { DefaultHeading = H; }
    void SetLength(int32_t N) { Settings.Length = N; }
    void SetPrecision(int32_t N) { Settings.PolyStep = N; }
    void SetScale(float S) { Settings.Scale = S; }
    void SetWidth(float W) { Settings.Width = W; }
    void SetGain(float G) { Settings.Gain = G; }
    void SetInkColor(TColor32 C) { Settings.InkColor = C; }
    void SetColorMode(TColorMode M) { Settings.ColorMode = M; }
    // The border threshold of the limit's low byte (BorderThresholdOf): limits above 100 give
    // thresholds above any feature strength.
    void SetBorderLimit(int32_t Limit) { Settings.BorderThreshold = BorderThresholdOf(Limit & 255); }

    // StrokeCountFor(Length, Density) strokes, each at a random point (x drawn before y).
    void Execute();
    // One stroke from the feature pixel (X, Y), with direction threshold 0: it follows the
    // picture's own directions wherever it lies inside the picture.
    void DrawStroke(int32_t X, int32_t Y);
    // The direction source lent to each stroke.
    void GetDefaultHeading(int32_t X, int32_t Y, THeading& Heading);

    // What every stroke takes. Without a palette, cmPaletteInk draws with black's hue and
    // saturation: grey shades of the sampled lightness. The shifts keep the stroke generator's
    // defaults.
    TStrokeSettings Settings{
        .Scale = 0.0f, .PolyStep = 25, .Length = 100, .Gain = 2.0f, .Width = 1.0f, .Palette = {}};
    const TBitmap32* Feature = nullptr; // borrowed
    TBitmap32* Dest = nullptr;          // borrowed
    THeading DefaultHeading = 0;
    int32_t Density = 50;
};
