// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/PerformanceCounter.h"

#include "platform/rtl/Exception.h"

#include <ctime>

int64_t PerformanceFrequency() {
    timespec res{};
    if (clock_getres(CLOCK_MONOTONIC, &res) != 0) return 0;
    const int64_t nanoseconds = static_cast<int64_t>(res.tv_sec) * 1000000000 + res.tv_nsec;
    return nanoseconds > 0 ? 1000000000 / nanoseconds : 0;
}

int64_t PerformanceCounter() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t frequency = PerformanceFrequency();
    const int64_t nanoseconds = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    return frequency >= 1000000000 || frequency == 0 ? nanoseconds : nanoseconds / (1000000000 / frequency);
}

void CheckPerformanceCounter() {
    if (PerformanceFrequency() == 0) RaiseException("Can not query performance frequency");
}
