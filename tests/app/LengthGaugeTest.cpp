// SPDX-License-Identifier: GPL-3.0-or-later
// The scale of the stroke-length gauges, shared by the main window and the style editor.
#include "app/LengthGauge.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(LengthGauge, ConvertsBothWays) {
    const std::pair<int, int> toLength[] = {{1, 5},     {2, 5},     {80, 30},  {100, 44},
                                            {140, 102}, {160, 161}, {170, 205}};
    for (const auto& [position, length] : toLength)
        EXPECT_EQ(GaugeToLength(position), length) << position;
    const std::pair<int, int> toGauge[] = {{5, 1}, {30, 81}, {44, 100}, {100, 139}, {205, 170}};
    for (const auto& [length, position] : toGauge)
        EXPECT_EQ(LengthToGauge(length), position) << length;
}

} // namespace
