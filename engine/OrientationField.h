// SPDX-License-Identifier: GPL-3.0-or-later
// The direction along the edges at every pixel: a block-wise structure-tensor estimate from the
// two Sobel maps, spread back to full size by bilinear interpolation of its doubled angle's
// cosine and sine. Maps follow imagproc.h (flat, bottom-up rows).
#pragma once

#include <cstdint>
#include <span>

// Fills every element of Dir with a direction byte (0..64 or 191..255; 191 where no block
// estimate reaches) from the vertical (A) and horizontal (B) Sobel maps, with blocks of N x N
// pixels whose (N + 1)-square windows sum the tensor. N must be at least 1.
void OrientationField(std::span<const int16_t> A, std::span<const int16_t> B, std::span<uint8_t> Dir, int W,
                      int H, int N);

// VectorToDirectionByte(Y, X), computed faster (a polynomial arctangent, with the exact
// conversion deciding near rounding boundaries); the result is the same for every vector.
uint8_t DirectionByteOf(float Y, float X);

// Dst (W x H) := the GW x GH grid Src sampled at x x GW / W, y x GH / H (no half-cell offset),
// single precision; only samples whose four cells all lie off the grid's first row and column
// and inside its last are interpolated, the rest are 0, and Dst's last row and column are not
// written.
void ResizeGridBilinear(std::span<const float> Src, std::span<float> Dst, int GW, int GH, int W, int H);
