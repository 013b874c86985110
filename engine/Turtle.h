// SPDX-License-Identifier: GPL-3.0-or-later
// Headings and the turtle that walks the pixel grid along them.
#pragma once

#include "platform/rtl/Types.h"

#include <array>
#include <cstdint>

// A direction as one byte, 256 units per full turn: 0 points right (+x), 64 up (-y, the bitmap's
// rows grow downwards), 128 left, 192 down. Adding 128 reverses a heading. Angles convert into it
// at 255 units per turn (see HeadingFromDelta), so straight up converts to 63.
using THeading = uint8_t;

// Correction factors of HeadingFromDelta: entry i serves the angle atan(dy / dx) rounded to
// hundredths of a radian, (i - 156) / 100, from -1.56 to +1.57.
constexpr int HeadingCorrectionCount = 314;
extern const std::array<float, HeadingCorrectionCount> HeadingCorrection;

// The heading of the vector (DX, DY) in bitmap coordinates (y down), corrected so that a turtle
// stepping with it advances, on average, along the vector.
THeading HeadingFromDelta(float DX, float DY);
// The heading from A to B; 0 when they coincide.
THeading HeadingBetween(const TPoint& A, const TPoint& B);

// A walker on the integer pixel grid: every Step moves one pixel to a 4-connected neighbour and
// spreads the heading's deviation from the axis over the following steps, so that the walk mixes
// axis steps in the heading's proportion. Beside the current pixel it names the neighbouring
// pixel towards which the heading leans, with a pair of weights, which gives a sub-pixel position.
class TTurtle {
public:
    explicit TTurtle(const TPoint& Pos) : TTurtle(Pos, 0) {}
    TTurtle(const TPoint& Pos, THeading AHeading);

    // To Pos with a cleared accumulator and plain weights; the heading stays.
    void Reset(const TPoint& Pos);
    // A new heading with a cleared accumulator. Assigning Heading directly keeps the accumulator.
    void SetHeading(THeading H);
    TPoint GetPos() const { return Point(X, Y); }
    // The weighted position between MainPixel and NeighbourPixel.
    void GetSubPixel(float& FX, float& FY) const;
    // One pixel step.
    void Step();

    // Summed deviation of the heading from the axes actually taken; only its low 8 bits matter,
    // and it wraps instead of overflowing.
    int32_t Accumulator = 0;
    int32_t X = 0;
    int32_t Y = 0;
    uint8_t MainWeight = 255;    // 128..255
    uint8_t NeighbourWeight = 0; // 255 - MainWeight
    TPoint MainPixel;            // the current pixel after the last step
    TPoint NeighbourPixel;       // the pixel beside it towards which the heading leans
    THeading Heading = 0;        // direction of the next step
};
