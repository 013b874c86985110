// SPDX-License-Identifier: GPL-3.0-or-later
// The high-resolution counter of the monotonic clock.
#pragma once

#include <cstdint>

// Ticks per second of the monotonic clock, 0 when the clock cannot be queried.
int64_t PerformanceFrequency();

// The current tick count of the monotonic clock.
int64_t PerformanceCounter();

// The start-up check: raises "Can not query performance frequency" on a machine without
// such a counter.
void CheckPerformanceCounter();
