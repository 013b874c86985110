// SPDX-License-Identifier: GPL-3.0-or-later
// Rounding as the whole system means it: to the nearest integer, halves to the even neighbour.
#pragma once

#include <cmath>
#include <cstdint>

// Round(2.5) = 2, Round(3.5) = 4, Round(-0.5) = 0. Never use std::round (halves away from zero).
inline int Round(double v) {
    return static_cast<int>(std::nearbyint(v));
}
inline int64_t Round64(double v) {
    return static_cast<int64_t>(std::nearbyint(v));
}
