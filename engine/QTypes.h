// Shared types and free routines of the drawing engine.
#pragma once

#include "platform/rtl/Types.h"

#include <cstdint>
#include <vector>

// One cubic Bezier curve: start, first control point, second control point, end.
// Stored as 32 bytes (x then y of each point, signed 32-bit, little-endian).
struct TBezierCurve {
    TPoint P0;
    TPoint C1;
    TPoint C2;
    TPoint P3;
    friend bool operator==(const TBezierCurve&, const TBezierCurve&) = default;
};

using TBezierCurves = std::vector<TBezierCurve>;

// A direction sample taken from drawn curves: a position and a direction vector.
struct TGuideSample {
    int32_t X = 0;
    int32_t Y = 0;
    float DX = 0.0f;
    float DY = 0.0f;
};
