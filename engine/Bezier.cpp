// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Bezier.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Round.h"

#include <cstdlib>

namespace {

constexpr int SubdivisionDepth = 3; // 2^3 = 8 pieces

// The integer midpoint used by the subdivision: a + (b - a) div 2, not (a + b) div 2.
TPoint Half(const TPoint& A, const TPoint& B) {
    return Point(A.X + (B.X - A.X) / 2, A.Y + (B.Y - A.Y) / 2);
}

int Sign(int64_t V) {
    return (V > 0) - (V < 0);
}

} // namespace

// The depth travels with the recursion, so a callback may safely start another subdivision.
void TBezierHelper::Subdivide(const TPoint& P0, const TPoint& P1, const TPoint& P2, const TPoint& P3,
                              const TBezierPieceEvent& Callback) {
    SubdivideStep(P0, P1, P2, P3, 0, Callback);
}

void TBezierHelper::SubdivideStep(const TPoint& P0, const TPoint& P1, const TPoint& P2, const TPoint& P3,
                                  int Depth, const TBezierPieceEvent& Callback) {
    if (Depth < SubdivisionDepth) {
        const TPoint m01 = Half(P0, P1), m12 = Half(P1, P2), m23 = Half(P2, P3);
        const TPoint m012 = Half(m01, m12), m123 = Half(m12, m23);
        const TPoint mid = Half(m012, m123);
        SubdivideStep(P0, m01, m012, mid, Depth + 1, Callback);
        SubdivideStep(mid, m123, m23, P3, Depth + 1, Callback);
    } else if (Callback) {
        Callback(P0, P1, P2, P3);
    }
}

void TBezierHelper::Rasterize(const TPoint& P0, const TPoint& P1, const TPoint& P2, const TPoint& P3) {
    Pixels.clear();
    Subdivide(P0, P1, P2, P3, [this](const TPoint& Q0, const TPoint& Q1, const TPoint& Q2, const TPoint& Q3) {
        RasterizePiece(Q0, Q1, Q2, Q3);
    });
}

void TBezierHelper::RasterizePiece(const TPoint& Q0, const TPoint& Q1, const TPoint& Q2, const TPoint& Q3) {
    AddPixelLine(Q0, Q1);
    AddPixelLine(Q1, Q2);
    AddPixelLine(Q2, Q3);
}

void TBezierHelper::AddPixelLine(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1) {
    const int64_t dx = int64_t{X1} - X0, dy = int64_t{Y1} - Y0;
    const int sx = Sign(dx), sy = Sign(dy);
    const int64_t ax = std::llabs(dx), ay = std::llabs(dy);
    const int64_t n = ax > ay ? ax : ay;
    int64_t ex = 0, ey = 0;
    int32_t x = X0, y = Y0;
    for (int64_t i = 0; i < n + 2; ++i) {
        AddPixel(x, y);
        ex += ax;
        ey += ay;
        if (ex > n) {
            ex -= n;
            x += sx;
        }
        if (ey > n) {
            ey -= n;
            y += sy;
        }
    }
}

void TBezierHelper::Refit(const TBezierCurve& Curve, int32_t N) {
    if (N < 1) RaiseException("TBezierHelper.Refit: chunk length must be at least 1");
    Rasterize(Curve.P0, Curve.C1, Curve.C2, Curve.P3);
    const auto l = static_cast<int64_t>(Pixels.size());
    const int64_t q = (l - 1) / N;
    const int64_t r = (l - 1) % N;
    Segments.clear();
    for (int64_t i = 0; i < q; ++i) {
        const int64_t base = i * N;
        Segments.push_back(TBezierCurve{Pixels[base], Pixels[Round64((i + 0.25) * N)],
                                        Pixels[Round64((i + 0.75) * N)], Pixels[base + N]});
    }
    if (r > 0) {
        const int64_t base = q * N;
        Segments.push_back(TBezierCurve{Pixels[base], Pixels[base + Round64(r * 0.25)],
                                        Pixels[base + Round64(r * 0.75)], Pixels[l - 1]});
    }
}

void TBezierHelper::GetSegment(int32_t I, TBezierCurve& Curve) const {
    if (I < 0 || I >= SegmentCount()) RaiseException(IndexErrorText(I, "TBezierHelper.GetSegment"));
    Curve = Segments[I];
}
