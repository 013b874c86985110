// SPDX-License-Identifier: GPL-3.0-or-later
// The one process-wide random generator. Every run draws the same sequence: the seed is 0
// at start and never taken from the clock, so the same gestures give the same strokes.
#pragma once

#include <cstdint>

// seed := seed x 134775813 + 1 (mod 2^32). Tests set it explicitly.
extern uint32_t RandSeed;

// One draw: advances the seed, then the high 32 bits of N x seed, in 0..N-1.
// Random(0) returns 0 and still advances the seed, so the order of draws never depends on ranges.
int32_t Random(int32_t N);

// One draw as a float in [0, 1): seed / 2^32.
double Random();
