// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/StrokeSettings.h"

#include "platform/rtl/Round.h"

uint8_t BorderThresholdOf(uint8_t Limit) {
    return static_cast<uint8_t>(Round((100 - Limit) / 100.0 * 60));
}

uint8_t BorderLimitOf(uint8_t Threshold) {
    return static_cast<uint8_t>(100 - static_cast<uint8_t>(Round(Threshold / 60.0 * 100)));
}
