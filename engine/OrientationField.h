// SPDX-License-Identifier: GPL-3.0-or-later
// The direction along the edges at every pixel: a block-wise structure-tensor estimate from the
// two Sobel maps, spread back to full size by bilinear interpolation of its doubled angle's
// cosine and sine. Maps follow imagproc.h (flat, bottom-up rows).
#pragma once

#include <cstdint>
#include <span>

// Fills every element of Dir with a direction byte (0..64 or 191..255) from the vertical (A) and
// horizontal (B) Sobel maps, with blocks of N x N pixels whose (N + 1)-square windows, clipped to
// the picture, sum the tensor. Every pixel, to the picture's four sides, follows the blocks around
// it; a picture of fewer than two blocks across or down has no direction: 191 everywhere. N must
// be at least 1.
void OrientationField(std::span<const int16_t> A, std::span<const int16_t> B, std::span<uint8_t> Dir, int W,
                      int H, int N);

// VectorToDirectionByte(Y, X), computed faster (a polynomial arctangent, with the exact
// conversion deciding near rounding boundaries); the result is the same for every vector.
uint8_t DirectionByteOf(float Y, float X);

// Dst (W x H) := the GW x GH grid Src sampled at x x GW / W, y x GH / H (no half-cell offset),
// single precision, every element: the cell index is clamped to 0 .. G - 2, and a sample past
// the last cell takes the outermost cell's value (fraction 1). With GW or GH below 2, Dst := 0.
void ResizeGridBilinear(std::span<const float> Src, std::span<float> Dst, int GW, int GH, int W, int H);
