// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/QTypes.h"

#include "platform/raster/Bitmap32.h"
#include "platform/raster/Polygon32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Round.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

// Every float below is a value held in single precision at that step; the expressions that
// produce them are evaluated in double.

// ---------------------------------------------------------------------------------------------
// Point and rectangle arithmetic
// ---------------------------------------------------------------------------------------------

TRect RectUnion(const TRect& A, const TRect& B) {
    return Rect(std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right),
                std::max(A.Bottom, B.Bottom));
}

TRect ScaleRect(const TRect& R, float Factor) {
    return Rect(Round(R.Left * static_cast<double>(Factor)), Round(R.Top * static_cast<double>(Factor)),
                Round(R.Right * static_cast<double>(Factor)), Round(R.Bottom * static_cast<double>(Factor)));
}

TPoint MidPoint(const TPoint& A, const TPoint& B) {
    return Point(static_cast<int32_t>((int64_t{A.X} + B.X) / 2),
                 static_cast<int32_t>((int64_t{A.Y} + B.Y) / 2));
}

void ScalePoint(TPoint& P, float Factor) {
    P = Point(Round(P.X * static_cast<double>(Factor)), Round(P.Y * static_cast<double>(Factor)));
}

void AddPoint(TPoint& P, const TPoint& D) {
    P.X += D.X;
    P.Y += D.Y;
}

void ScalePoints(std::span<TPoint> Points, float Factor) {
    for (TPoint& p : Points)
        ScalePoint(p, Factor);
}

void OffsetPoints(std::span<TPoint> Points, const TPoint& Delta) {
    for (TPoint& p : Points)
        AddPoint(p, Delta);
}

float PointDistance(const TPoint& A, const TPoint& B) {
    return static_cast<float>(std::hypot(static_cast<double>(A.X) - B.X, static_cast<double>(A.Y) - B.Y));
}

float BezierPolygonLength(const TBezierCurve& C) {
    return static_cast<float>(static_cast<double>(PointDistance(C.P0, C.C1)) + PointDistance(C.C1, C.C2) +
                              PointDistance(C.C2, C.P3));
}

int32_t StrokeCountFor(int32_t Length, int32_t Density) {
    if (Length == 0) RaiseException("StrokeCountFor: Length must not be 0");
    // 400 x Density is a 32-bit product (it wraps); the division is in floating point.
    const auto product = static_cast<int32_t>(400u * static_cast<uint32_t>(Density));
    const int64_t q = Round64(static_cast<double>(product) / Length);
    return static_cast<int32_t>((3 * int64_t{Length} + q) / 3);
}

// ---------------------------------------------------------------------------------------------
// Random jitter
// ---------------------------------------------------------------------------------------------

void JitterPoint(TPoint& P, int32_t N) {
    P.X = Random(N) + P.X - N / 2;
    P.Y = Random(N) + P.Y - N / 2;
}

void JitterPoints(std::span<TPoint> Points, int32_t Spread, int32_t Jitter) {
    const int32_t dx = Random(Spread) - Spread / 2;
    const int32_t dy = Random(Spread) - Spread / 2;
    OffsetPoints(Points, Point(dx, dy));
    for (TPoint& p : Points)
        JitterPoint(p, Jitter);
}

void JitterCurveEnds(std::span<TPoint> Points) {
    if (Points.empty()) return;
    TPoint& first = Points.front();
    TPoint& last = Points.back();
    const int32_t s = std::abs(first.X - last.X) / 2;
    const int32_t t = std::abs(first.Y - last.Y) / 2;
    first.X += Random(s) - s / 2;
    first.Y += Random(t) - t / 2;
    last.X += Random(s) - s / 2;
    last.Y += Random(t) - t / 2;
}

// ---------------------------------------------------------------------------------------------
// Bitmaps
// ---------------------------------------------------------------------------------------------

void FillStrokeOutline(const TArrayOfFixedPoint& Left, const TArrayOfFixedPoint& Right, TBitmap32& Bitmap,
                       TColor32 Color, float Scale) {
    // Each coordinate passes through single precision on its way: v / 65536, times Scale, back
    // to 16.16.
    auto scaled = [Scale](TFixed V) {
        const float f = static_cast<float>(V / 65536.0);
        const float s = static_cast<float>(static_cast<double>(f) * Scale);
        return static_cast<TFixed>(Round(static_cast<double>(s) * 65536.0));
    };
    TPolygon32 polygon;
    polygon.Antialiased = true;
    polygon.FillMode = pfAlternate;
    for (const TFixedPoint& p : Left)
        polygon.Add(TFixedPoint{scaled(p.X), scaled(p.Y)});
    for (auto it = Right.rbegin(); it != Right.rend(); ++it)
        polygon.Add(TFixedPoint{scaled(it->X), scaled(it->Y)});
    polygon.DrawFill(Bitmap, Color);
}

std::unique_ptr<TBitmap32> CropBitmap(const TBitmap32& Source, const TRect& R) {
    auto result = std::make_unique<TBitmap32>();
    result->SetSize(std::max(R.Width(), 0), std::max(R.Height(), 0));
    // Only the part of R inside the source is copied, at its place in R.
    TRect inside;
    if (!result->Empty() && IntersectRect(inside, R, Source.BoundsRect())) {
        const TRect dst =
            Rect(inside.Left - R.Left, inside.Top - R.Top, inside.Right - R.Left, inside.Bottom - R.Top);
        result->DrawStretched(dst, inside, Source);
    }
    return result;
}

std::unique_ptr<TBitmap32> ZoomCropBitmap(const TBitmap32& Source, int32_t Percent) {
    const float f = static_cast<float>(Percent / 200.0);
    const int32_t hw = Round(Source.Width() * static_cast<double>(f));
    const int32_t hh = Round(Source.Height() * static_cast<double>(f));
    const int32_t cx = Source.Width() / 2, cy = Source.Height() / 2;
    return CropBitmap(Source, Rect(cx - hw, cy - hh, cx + hw, cy + hh));
}

std::unique_ptr<TBitmap32> NewFilledBitmap(int32_t Width, int32_t Height, TColor32 Color) {
    auto result = std::make_unique<TBitmap32>();
    result->SetSize(Width, Height);
    result->FillRect(0, 0, Width, Height, Color);
    return result;
}

namespace {

// The point of a circle at angle A (radians, clockwise on screen), each coordinate in single
// precision.
void CirclePoint(const TPoint& Center, float Radius, float A, float& X, float& Y) {
    X = static_cast<float>(std::cos(static_cast<double>(A)) * Radius + Center.X);
    Y = static_cast<float>(std::sin(static_cast<double>(A)) * Radius + Center.Y);
}

} // namespace

void DrawDashedCircle(TBitmap32& Bitmap, const TPoint& Center, TColor32 Color1, float Radius,
                      TColor32 Color2) {
    Bitmap.PenColor = Color1;
    float a = 0;
    bool first = true;
    float px = 0, py = 0;
    while (a <= 2 * std::numbers::pi + 0.1) {
        float x, y;
        CirclePoint(Center, Radius, a, x, y);
        if (first) {
            Bitmap.MoveToF(x, y);
        } else {
            Bitmap.MoveToF(px, py);
            Bitmap.LineToFS(x, y);
        }
        first = false;
        px = x;
        py = y;
        a = static_cast<float>(a + 0.1);
        Bitmap.PenColor = Bitmap.PenColor == Color1 ? Color2 : Color1;
    }
}

void DrawCircleArc(TBitmap32& Bitmap, const TPoint& Center, TColor32 Color, float Radius, float StartAngle,
                   float EndAngle) {
    Bitmap.PenColor = Color;
    float a = StartAngle;
    bool first = true;
    float px = 0, py = 0;
    while (a <= EndAngle + 0.1) {
        float x, y;
        CirclePoint(Center, Radius, a, x, y);
        if (first)
            Bitmap.MoveToF(x, y);
        else
            Bitmap.LineXSP(Fixed(px), Fixed(py), Fixed(x), Fixed(y), false);
        first = false;
        px = x;
        py = y;
        const float next = static_cast<float>(a + 0.1);
        if (next == a) break; // an end angle too large to step towards
        a = next;
    }
}

// ---------------------------------------------------------------------------------------------
// Colour and directions
// ---------------------------------------------------------------------------------------------

float GuideWeight(float D) {
    if (!(D > 0)) D = 1;
    const float d = static_cast<float>(D / 10.0);
    return static_cast<float>(1.0 / (static_cast<double>(d) * d * d));
}

TGuideSample GuideDirectionAt(std::span<const TGuideSample> Samples, const TPoint& P) {
    std::vector<float> w(Samples.size());
    float sum = 0;
    for (size_t i = 0; i < Samples.size(); ++i) {
        w[i] = GuideWeight(PointDistance(Point(Samples[i].X, Samples[i].Y), P));
        sum = static_cast<float>(static_cast<double>(sum) + w[i]);
    }
    if (sum < 0.00001) sum = 0.00001f;
    const double scale = 1.0 / sum;
    for (float& wi : w)
        wi = static_cast<float>(wi * scale);
    float vx = 0, vy = 0;
    for (size_t i = 0; i < Samples.size(); ++i) {
        vx = static_cast<float>(vx + static_cast<double>(Samples[i].DX) * w[i]);
        vy = static_cast<float>(vy + static_cast<double>(Samples[i].DY) * w[i]);
    }
    auto sign = [](float v) { return (v > 0) - (v < 0); };
    TGuideSample result;
    result.X = P.X;
    result.Y = P.Y;
    result.DX = sign(vx) != sign(vy) ? -std::abs(vx) : std::abs(vx);
    result.DY = std::abs(vy);
    return result;
}

uint8_t VectorToDirectionByte(float Y, float X) {
    float a;
    if (X == 0) {
        a = Y > 0 ? 1.5708f : 4.7124f;
    } else {
        a = static_cast<float>(std::atan2(static_cast<double>(Y), static_cast<double>(X)) / 2);
        if (a < 0) a = static_cast<float>(a + 6.2832);
    }
    const float t = static_cast<float>(a / 6.2832);
    const float u = static_cast<float>(t * 255.0);
    return static_cast<uint8_t>(Round(u));
}
