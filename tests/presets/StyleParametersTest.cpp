// SPDX-License-Identifier: GPL-3.0-or-later
// The style parameters' gauge mappings, which the main window and the style editor share.
#include "presets/StyleParameters.h"

#include "presets/Styles.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(StyleParameters, LengthScaleConvertsBothWays) {
    const std::pair<int, int> toLength[] = {{1, 5},     {2, 5},     {80, 30},  {100, 44},
                                            {140, 102}, {160, 161}, {170, 205}};
    for (const auto& [position, length] : toLength)
        EXPECT_EQ(GaugeToLength(position), length) << position;
    const std::pair<int, int> toGauge[] = {{5, 1}, {30, 81}, {44, 100}, {100, 139}, {205, 170}};
    for (const auto& [length, position] : toGauge)
        EXPECT_EQ(LengthToGauge(length), position) << length;
}

// A window writes the value of the gauge's position and shows the position of the value it reads
// back: every position shows itself again, but for Length, whose short strokes share a length
// among several positions, the position settles after one round and stays.
TEST(StyleParameters, EveryPositionSurvivesTheRoundTrip) {
    for (const TStyleParameter p : AllStyleParameters) {
        const TStyleParameterInfo& info = StyleParameters[p];
        for (int32_t position = info.Min; position <= info.Max; ++position) {
            const int32_t shown = StylePositionOf(p, StyleValueAt(p, position));
            if (p == spLength) {
                EXPECT_EQ(StylePositionOf(p, StyleValueAt(p, shown)), shown) << position;
            } else {
                EXPECT_EQ(shown, position) << int{p} << " at " << position;
            }
        }
    }
}

TEST(StyleParameters, ValuesAndTextsOfTheGauges) {
    EXPECT_EQ(StyleValueAt(spPrecision, 6), 94);
    EXPECT_EQ(StyleValueAt(spPrecision, 100), 0);
    EXPECT_EQ(StyleValueAt(spLength, 160), 161);
    EXPECT_EQ(StyleValueAt(spGain, 250), 2.5);
    EXPECT_EQ(StyleValueAt(spWidth, 15), 1.5);
    EXPECT_EQ(StyleValueAt(spBorderLimit, 99), 99);
    // A style that was never edited holds limit 128; its gauge clamps the position.
    EXPECT_EQ(StylePositionOf(spBorderLimit, 128), 128);

    // Precision shows the gauge's position, the others the value read back.
    EXPECT_EQ(StyleValueText(spPrecision, 90, 10), "90");
    EXPECT_EQ(StyleValueText(spLength, 160, 161), "161");
    EXPECT_EQ(StyleValueText(spGain, 250, 2.5), "2.5");
    EXPECT_EQ(StyleValueText(spGain, 200, 2.0), "2");
    EXPECT_EQ(StyleValueText(spWidth, 13, 1.25f), "1.25");
    EXPECT_EQ(StyleValueText(spBorderLimit, 99, 98), "98");
}

TEST(StyleParameters, AStyleTakesEachValueThroughItsSetter) {
    TQStyle style;
    const std::pair<TStyleParameter, double> values[] = {
        {spPrecision, 75}, {spLength, 161}, {spGain, 4.2}, {spWidth, 1.5}, {spBorderLimit, 99}};
    for (const auto& [p, value] : values) {
        style.Dirty = false;
        SetStyleValue(style, p, value);
        EXPECT_TRUE(style.Dirty) << int{p};
    }
    EXPECT_EQ(style.PolyStep, 75);
    EXPECT_EQ(style.Length, 161);
    EXPECT_EQ(style.Gain, 4.2f);
    EXPECT_EQ(style.Width, 1.5f);
    EXPECT_EQ(style.BorderLimit, 99);
    for (const auto& [p, value] : values)
        EXPECT_EQ(StyleValue(style, p), p == spGain ? double{4.2f} : value) << int{p};
}

} // namespace
