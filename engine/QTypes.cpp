#include "engine/QTypes.h"

#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Round.h"

#include <algorithm>
#include <cmath>
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

std::unique_ptr<TBitmap32> NewFilledBitmap(int32_t Width, int32_t Height, TColor32 Color) {
    auto result = std::make_unique<TBitmap32>();
    result->SetSize(Width, Height);
    result->FillRect(0, 0, Width, Height, Color);
    return result;
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
