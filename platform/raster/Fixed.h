// SPDX-License-Identifier: GPL-3.0-or-later
// 16.16 fixed point: a value times 65536, rounded to nearest with halves to even.
#pragma once

#include "platform/rtl/Round.h"

#include <cstdint>
#include <vector>

using TFixed = int32_t;

constexpr TFixed FixedOne = 0x10000;

struct TFixedPoint {
    TFixed X = 0;
    TFixed Y = 0;
    friend bool operator==(const TFixedPoint&, const TFixedPoint&) = default;
};

using TArrayOfFixedPoint = std::vector<TFixedPoint>;

inline TFixed Fixed(double V) {
    return Round(V * 65536.0);
}
constexpr TFixed FixedFromInt(int32_t V) {
    return static_cast<TFixed>(static_cast<uint32_t>(V) << 16);
}
inline TFixedPoint FixedPoint(double X, double Y) {
    return TFixedPoint{Fixed(X), Fixed(Y)};
}
constexpr TFixedPoint FixedPointFromInt(int32_t X, int32_t Y) {
    return TFixedPoint{FixedFromInt(X), FixedFromInt(Y)};
}
inline double FixedToFloat(TFixed V) {
    return V / 65536.0;
}
