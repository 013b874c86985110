// SPDX-License-Identifier: GPL-3.0-or-later
// Integer cubic Bezier tools: fixed-depth subdivision, rasterisation into a pixel path and the
// refitting of that path into a chain of shorter cubics.
#pragma once

#include "engine/QTypes.h"

#include <functional>
#include <vector>

// Receives the four control points of one piece of a subdivided cubic.
using TBezierPieceEvent =
    std::function<void(const TPoint& Q0, const TPoint& Q1, const TPoint& Q2, const TPoint& Q3)>;

class TBezierHelper {
public:
    // Three halvings (de Casteljau with integer midpoints a + (b - a) div 2): Callback receives the
    // 8 pieces in order from the curve's start to its end.
    void Subdivide(const TPoint& P0, const TPoint& P1, const TPoint& P2, const TPoint& P3,
                   const TBezierPieceEvent& Callback);
    // Pixels := the pixel lines of the control polygons of the 8 pieces.
    void Rasterize(const TPoint& P0, const TPoint& P1, const TPoint& P2, const TPoint& P3);
    // Rasterises Curve, then Segments := cubics through the path in chunks of N pixels, their
    // controls the path pixels at a quarter and three quarters of each chunk. N must be >= 1.
    void Refit(const TBezierCurve& Curve, int32_t N);
    int32_t SegmentCount() const { return static_cast<int32_t>(Segments.size()); }
    // Raises an Exception for I outside 0 .. SegmentCount - 1.
    void GetSegment(int32_t I, TBezierCurve& Curve) const;

    // A pixel line of n = max(|dx|, |dy|) steps: n + 2 points, the start twice, the end last.
    void AddPixelLine(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1);
    void AddPixelLine(const TPoint& A, const TPoint& B) { AddPixelLine(A.X, A.Y, B.X, B.Y); }
    void AddPixel(int32_t X, int32_t Y) { Pixels.push_back(Point(X, Y)); }

    std::vector<TPoint> Pixels;         // the pixel path of the last Rasterize
    std::vector<TBezierCurve> Segments; // the cubics of the last Refit

private:
    void SubdivideStep(const TPoint& P0, const TPoint& P1, const TPoint& P2, const TPoint& P3, int Depth,
                       const TBezierPieceEvent& Callback);
    void RasterizePiece(const TPoint& Q0, const TPoint& Q1, const TPoint& Q2, const TPoint& Q3);
};
