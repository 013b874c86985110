// SPDX-License-Identifier: GPL-3.0-or-later
// Shared types and free routines of the drawing engine.
#pragma once

#include "platform/raster/Color32.h"
#include "platform/raster/Fixed.h"
#include "platform/raster/HSL.h"
#include "platform/rtl/Types.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class TBitmap32;

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

// ---------------------------------------------------------------------------------------------
// Point and rectangle arithmetic
// ---------------------------------------------------------------------------------------------

// The smallest rectangle holding both; empty rectangles get no special case.
TRect RectUnion(const TRect& A, const TRect& B);
// Every coordinate Round(v x Factor).
TRect ScaleRect(const TRect& R, float Factor);
// ((A.X + B.X) div 2, (A.Y + B.Y) div 2), truncating toward zero.
TPoint MidPoint(const TPoint& A, const TPoint& B);
void ScalePoint(TPoint& P, float Factor);
void AddPoint(TPoint& P, const TPoint& D);
void ScalePoints(std::span<TPoint> Points, float Factor);
void OffsetPoints(std::span<TPoint> Points, const TPoint& Delta);
float PointDistance(const TPoint& A, const TPoint& B);
// The length of the control polygon (start, control 1, control 2, end), not of the arc.
float BezierPolygonLength(const TBezierCurve& C);
// How many strokes one dab of the brush sprays: (3 x Length + Round(400 x Density / Length)) div 3.
// Length must be at least 1; 0 raises an Exception.
int32_t StrokeCountFor(int32_t Length, int32_t Density);

// ---------------------------------------------------------------------------------------------
// Random jitter (each draw is one call of the process-wide generator; x is drawn before y)
// ---------------------------------------------------------------------------------------------

// P moves by (Random(N) - N div 2, Random(N) - N div 2).
void JitterPoint(TPoint& P, int32_t N);
// All points move by one common offset drawn from Spread, then each point by its own JitterPoint.
void JitterPoints(std::span<TPoint> Points, int32_t Spread, int32_t Jitter);
// The first and the last point move by up to half the distance between them, on each axis.
void JitterCurveEnds(std::span<TPoint> Points);

// ---------------------------------------------------------------------------------------------
// Drawing and bitmaps
// ---------------------------------------------------------------------------------------------

// Fills the polygon of Left (in order) and Right (reversed), scaled by Scale, antialiased,
// even-odd.
void FillStrokeOutline(const TArrayOfFixedPoint& Left, const TArrayOfFixedPoint& Right, TBitmap32& Bitmap,
                       TColor32 Color, float Scale);
// A new bitmap of R's size holding R's pixels, copied with the source's draw mode and master
// alpha. Parts of R outside the source stay 0 (transparent black).
std::unique_ptr<TBitmap32> CropBitmap(const TBitmap32& Source, const TRect& R);
// The centred crop of Percent / 100 of each side.
std::unique_ptr<TBitmap32> ZoomCropBitmap(const TBitmap32& Source, int32_t Percent);
// A new bitmap of that size, every pixel Color.
std::unique_ptr<TBitmap32> NewFilledBitmap(int32_t Width, int32_t Height, TColor32 Color);
// A circle of 63 antialiased segments of alternating colour, clockwise on screen from the right.
void DrawDashedCircle(TBitmap32& Bitmap, const TPoint& Center, TColor32 Color1, float Radius,
                      TColor32 Color2);
// An arc from StartAngle to EndAngle (radians) in steps of 0.1, its segments coloured by the
// bitmap's stipple. Stops where the angle no longer grows in single precision.
void DrawCircleArc(TBitmap32& Bitmap, const TPoint& Center, TColor32 Color, float Radius, float StartAngle,
                   float EndAngle);

// ---------------------------------------------------------------------------------------------
// Colour and directions (HSLToRGBBytes comes from platform/raster/HSL.h)
// ---------------------------------------------------------------------------------------------

// 1 / (D / 10)^3: 1 at distance 10, 1000 at distance 1; a distance that is not positive counts as 1.
float GuideWeight(float D);
// The inverse-cube weighted mean of the samples' directions at P, folded so that DY >= 0.
TGuideSample GuideDirectionAt(std::span<const TGuideSample> Samples, const TPoint& P);
// The direction byte of the feature map for the doubled-angle vector (X, Y): half its angle,
// 255 units per turn (the turn taken as 6.2832). Only 0..64 and 191..255 occur; X = 0 gives 64
// for Y > 0 and 191 otherwise.
uint8_t VectorToDirectionByte(float Y, float X);
