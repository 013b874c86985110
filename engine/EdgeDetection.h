// SPDX-License-Identifier: GPL-3.0-or-later
// The border lines of the feature bitmap: a Canny-like edge test on the blurred darkness map,
// Zhang-Suen thinning to lines one pixel wide, and the packing of the border flag with the
// gradient strength into one byte. Maps follow imagproc.h (flat, bottom-up rows).
#pragma once

#include <cstdint>
#include <span>

// The double threshold of the edge test, on the gradient strength |gx| + |gy| (at most 255): from
// EdgeStrongGradient on a pixel is an edge by itself; from EdgeWeakGradient on only beside a
// neighbour whose blurred darkness is above EdgeDarkNeighbour. Below EdgeWeakGradient no pixel is
// an edge.
constexpr int EdgeStrongGradient = 100;
constexpr int EdgeWeakGradient = 30;
constexpr int EdgeDarkNeighbour = 100;

// Dst := 255 on edge pixels, 0 elsewhere, from one blur pass of Src (darkness): a pixel is an
// edge when its gradient strength is at least the blurred darkness of its two neighbours across
// the gradient's sector and passes the double threshold above. The one-pixel frame of Dst is not
// written.
void DetectEdges(std::span<const uint8_t> Src, std::span<uint8_t> Dst, int W, int H);

// The sector (0, 45, 90 or 135 degrees) of a gradient with components |Gx|, |Gy| <= 1020: the
// angle of Gx / Gy from the y axis, folded into [0, 180), in steps of 45 degrees centred on
// the axes and diagonals (157.5 and above counts as 0).
int GradientSector(int Gx, int Gy);
// GradientSector of Count gradients at once, the way the edge test computes them.
void GradientSectors(const int16_t* Gx, const int16_t* Gy, uint8_t* Sector, int Count);

// Zhang-Suen thinning of the 255 regions of a map of 0 and 255, in place, over x in 2 .. W - 2
// and y in 2 .. H - 2; elements outside that range never change.
void ThinEdges(std::span<uint8_t> Map, int W, int H);

// Edge[i] := (Mag[i] shr 1) or (128 when Edge[i] <> 0): strength in bits 0..6, border in bit 7.
void PackEdgeFlag(std::span<const uint8_t> Mag, std::span<uint8_t> Edge, int W, int H);
