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

// A style's fields; its setters mark the preview out of date.
template <>
struct TStyleFields<TQStyle> {
    static int32_t PolyStep(const TQStyle& S) { return S.PolyStep; }
    static int32_t Length(const TQStyle& S) { return S.Length; }
    static float Gain(const TQStyle& S) { return S.Gain; }
    static float Width(const TQStyle& S) { return S.Width; }
    static uint8_t BorderLimit(const TQStyle& S) { return S.BorderLimit; }
    static void SetPolyStep(TQStyle& S, int32_t V) { S.SetPrecision(V); }
    static void SetLength(TQStyle& S, int32_t V) { S.SetLength(V); }
    static void SetGain(TQStyle& S, float V) { S.SetGain(V); }
    static void SetWidth(TQStyle& S, float V) { S.SetWidth(V); }
    static void SetBorderLimit(TQStyle& S, uint8_t V) { S.SetBorderLimit(V); }
};

double StyleValue(const TQStyle& Style, TStyleParameter P) {
    return StyleValueOf(Style, P);
}

void SetStyleValue(TQStyle& Style, TStyleParameter P, double Value) {
    SetStyleValueOf(Style, P, Value);
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
