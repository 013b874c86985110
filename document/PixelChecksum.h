// SPDX-License-Identifier: GPL-3.0-or-later
// A checksum of pixel words, so that a swap file changed behind our back is noticed: eight lanes
// of multiply-rotate rounds over 64-bit words, then the word left over; each round is one to one,
// so one changed word always changes the result.
#pragma once

#include "platform/raster/Color32.h"

#include <cstddef>
#include <cstdint>

// The checksum of Count pixels.
uint64_t PixelSum(const TColor32* Pixels, size_t Count);
// The checksum of pieces summed one after the other: Sum so far (0 at the start) and the next
// piece's PixelSum.
uint64_t FoldPixelSum(uint64_t Sum, uint64_t Piece);
