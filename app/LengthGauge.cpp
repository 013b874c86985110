// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LengthGauge.h"

#include "platform/rtl/Round.h"

#include <cmath>

int32_t GaugeToLength(int32_t Position) {
    const float e = static_cast<float>(std::exp(std::exp(Position / 200.0)));
    const float t = static_cast<float>(2.0 * e * e - 10.0);
    return Round(t);
}

int32_t LengthToGauge(int32_t Length) {
    const long double v = 200.0L * std::log(std::log(std::sqrt((Length + 10.0L) / 2.0L)));
    return Round(static_cast<double>(v));
}
