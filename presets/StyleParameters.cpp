// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/StyleParameters.h"

#include "platform/rtl/Format.h"
#include "platform/rtl/Round.h"
#include "presets/Styles.h"

#include <cmath>

const std::array<TStyleParameterInfo, StyleParameterCount> StyleParameters{{
    {"Precision", "Precision", 6, 100, 25, 25, 4},
    {"Length", "Length", 1, 170, 80, 100, 100},
    {"Gain", "Gain", 100, 1200, 200, 200, 200},
    {"Width", "Width", 10, 100, 10, 10, 10},
    {"Borders", "Border limit", 1, 100, 99, 99, 127},
}};

double StyleValueAt(TStyleParameter P, int32_t Position) {
    switch (P) {
    case spPrecision:
        return StyleParameters[P].Max - Position;
    case spLength:
        return GaugeToLength(Position);
    case spGain:
        return Position / 100.0;
    case spWidth:
        return Position / 10.0;
    case spBorderLimit:
        break;
    }
    return Position;
}

int32_t StylePositionOf(TStyleParameter P, double Value) {
    switch (P) {
    case spPrecision:
        return StyleParameters[P].Max - static_cast<int32_t>(Value);
    case spLength:
        return LengthToGauge(static_cast<int32_t>(Value));
    case spGain:
        return Round(Value * 100.0);
    case spWidth:
        return Round(Value * 10.0);
    case spBorderLimit:
        break;
    }
    return static_cast<int32_t>(Value);
}

std::string StyleValueText(TStyleParameter P, int32_t Position, double Value) {
    switch (P) {
    case spPrecision:
        return std::to_string(Position);
    case spGain:
    case spWidth:
        return FloatToStrGeneral(Value, 5, 0);
    case spLength:
    case spBorderLimit:
        break;
    }
    return std::to_string(static_cast<int32_t>(Value));
}

double StyleValue(const TQStyle& Style, TStyleParameter P) {
    switch (P) {
    case spPrecision:
        return Style.PolyStep;
    case spLength:
        return Style.Length;
    case spGain:
        return Style.Gain;
    case spWidth:
        return Style.Width;
    case spBorderLimit:
        break;
    }
    return Style.BorderLimit;
}

void SetStyleValue(TQStyle& Style, TStyleParameter P, double Value) {
    switch (P) {
    case spPrecision:
        Style.SetPrecision(static_cast<int32_t>(Value));
        break;
    case spLength:
        Style.SetLength(static_cast<int32_t>(Value));
        break;
    case spGain:
        Style.SetGain(static_cast<float>(Value));
        break;
    case spWidth:
        Style.SetWidth(static_cast<float>(Value));
        break;
    case spBorderLimit:
        Style.SetBorderLimit(static_cast<uint8_t>(static_cast<int32_t>(Value)));
        break;
    }
}

int32_t GaugeToLength(int32_t Position) {
    const float e = static_cast<float>(std::exp(std::exp(Position / 200.0)));
    const float t = static_cast<float>(2.0 * e * e - 10.0);
    return Round(t);
}

int32_t LengthToGauge(int32_t Length) {
    const long double v = 200.0L * std::log(std::log(std::sqrt((Length + 10.0L) / 2.0L)));
    return Round(static_cast<double>(v));
}
