// SPDX-License-Identifier: GPL-3.0-or-later
// The scale of the stroke-length gauges of the main window's style panel and of the style editor:
// positions 1..170 give lengths 5..205, close together for short strokes and far apart for long
// ones.
#pragma once

#include <cstdint>

// The length of a gauge position: Round(2 exp(exp(Position / 200))^2 - 10), the exponential
// kept in single precision.
int32_t GaugeToLength(int32_t Position);
// The position that shows a length, the inverse of GaugeToLength rounded to the nearest step.
int32_t LengthToGauge(int32_t Length);
