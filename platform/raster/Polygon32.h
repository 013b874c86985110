// SPDX-License-Identifier: GPL-3.0-or-later
// Filled polygons in 16.16 fixed point: the pen strokes, the band outlines and the overlays.
#pragma once

#include "platform/raster/Bitmap32.h"
#include "platform/raster/Fixed.h"

#include <cstddef>
#include <vector>

// Which points a polygon covers: an odd number of crossings (alternate, even-odd) or a winding
// number other than zero (winding).
enum TPolyFillMode { pfAlternate = 0, pfWinding = 1 };

// A closed polygon of one or more contours. Every contour is closed by an edge from its last
// point back to its first.
//
// Antialiased filling snaps each vertex to eighths of a pixel, (v + 2047) arithmetic shr 13, and
// samples every pixel at 8 x 8 positions, the centres of its eighth-pixel cells; the colour is
// blended with the weight alpha x covered / 64 (rounded, halves to even). A pixel covered at all
// 64 positions by an opaque colour gets the colour exactly.
//
// Filling without antialiasing keeps the full 16.16 precision and paints a pixel when its centre
// (x + 0.5, y + 0.5) lies inside, with the colour's alpha as weight.
//
// Sample points that lie exactly on an edge follow one rule everywhere: a crossing at x covers
// the samples at x and to its right. Filling is clipped to the bitmap; any coordinates are safe.
class TPolygon32 {
public:
    bool Antialiased = false;
    TPolyFillMode FillMode = pfAlternate;

    // Appends a point to the current contour.
    void Add(const TFixedPoint& P) { FPoints.push_back(P); }
    // Removes every point and contour.
    void Clear();
    // Starts another contour; the points added next belong to it. A contour without points is
    // not started twice.
    void NewLine();

    // Fills the polygon onto Bitmap, blending Color as described above.
    void DrawFill(TBitmap32& Bitmap, TColor32 Color) const;

    // The points of all contours in order, and the index where each contour starts.
    const TArrayOfFixedPoint& Points() const { return FPoints; }
    const std::vector<size_t>& ContourStarts() const { return FStarts; }
    int ContourCount() const { return static_cast<int>(FStarts.size()) + 1; }

private:
    TArrayOfFixedPoint FPoints;
    // Start index of every contour after the first (the first starts at 0).
    std::vector<size_t> FStarts;
};
