// SPDX-License-Identifier: GPL-3.0-or-later
// Strokes scattered at random over a whole feature bitmap with one set of style parameters: the
// style preview. Each stroke is one direction-field walk of the stroke generator; none is logged.
#pragma once

#include "engine/LineSampler.h"
#include "engine/Turtle.h"
#include "platform/raster/Color32.h"

#include <cstdint>

class TBitmap32;

class TEffectSampler {
public:
    // Both bitmaps are borrowed; the caller sets the scale.
    TEffectSampler(const TBitmap32* AFeature, TBitmap32* ADest);

    void SetDefaultHeading(THeading H) { DefaultHeading = H; }
    void SetLength(int32_t N) { Length = N; }
    void SetPrecision(int32_t N) { PolyStep = N; }
    void SetScale(float S) { Scale = S; }
    void SetWidth(float W) { Width = W; }
    void SetGain(float G) { Gain = G; }
    void SetInkColor(TColor32 C) { InkColor = C; }
    void SetColorMode(TColorMode M) { ColorMode = M; }
    // BorderThreshold := Round((100 - (Limit and 255)) / 100 x 60) as a byte: limits above 100
    // wrap to thresholds above any feature strength.
    void SetBorderLimit(int32_t Limit);

    // StrokeCountFor(Length, Density) strokes, each at a random point (x drawn before y).
    void Execute();
    // One stroke from the feature pixel (X, Y), with direction threshold 0: it follows the
    // picture's own directions wherever it lies inside the picture.
    void DrawStroke(int32_t X, int32_t Y);
    // The direction source lent to each stroke.
    void GetDefaultHeading(int32_t X, int32_t Y, THeading& Heading);

    bool StopOnBorders = true;
    int32_t Length = 100;
    int32_t PolyStep = 25;
    float Gain = 2.0f;
    float Width = 1.0f;
    const TBitmap32* Feature = nullptr; // borrowed
    TBitmap32* Dest = nullptr;          // borrowed
    THeading DefaultHeading = 0;
    float Scale = 0.0f;
    int32_t Density = 50;
    TColor32 InkColor = 0;
    TColorMode ColorMode = cmFixedInk;
    uint8_t BorderThreshold = 0;
};
