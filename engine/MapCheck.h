// SPDX-License-Identifier: GPL-3.0-or-later
// Size checks and band sizes shared by the map operations of the picture analysis.
#pragma once

#include "platform/rtl/Exception.h"

#include <algorithm>
#include <cstddef>
#include <span>
#include <string>

// W x H, or 0 when either is not positive.
inline size_t MapElements(int W, int H) {
    return W > 0 && H > 0 ? static_cast<size_t>(W) * static_cast<size_t>(H) : 0;
}

// Raises an Exception when Map cannot hold W x H elements.
template <typename T>
void CheckMapSize(std::span<T> Map, int W, int H, const char* Where) {
    if (Map.size() < MapElements(W, H)) RaiseException(std::string(Where) + ": map smaller than its picture");
}

// Rows per band of ParallelRows, so that a band holds at least about 64K elements.
inline int MinRowBand(int W) {
    return std::max(1, 65536 / std::max(W, 1));
}
