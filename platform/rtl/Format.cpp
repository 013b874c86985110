// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/rtl/Format.h"

#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <optional>

namespace {
std::optional<char> gSeparator;

char LocaleSeparator() {
    try {
        return std::use_facet<std::numpunct<char>>(std::locale("")).decimal_point();
    } catch (...) {
        return '.';
    }
}

// The decimal digits of |Value| rounded half away from zero to Precision significant digits,
// and the decimal exponent of the first digit.
void DecimalDigits(double Value, int Precision, std::string& Digits, int& Exponent) {
    char buffer[64];
    // 17 significant digits identify the double exactly; round those decimally.
    std::snprintf(buffer, sizeof buffer, "%.16e", std::fabs(Value));
    std::string all;
    const char* p = buffer;
    for (; *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') all += *p;
    Exponent = std::atoi(p + 1);
    Digits = all.substr(0, static_cast<size_t>(Precision));
    if (static_cast<size_t>(Precision) < all.size() && all[static_cast<size_t>(Precision)] >= '5') {
        int i = Precision - 1;
        while (i >= 0 && Digits[static_cast<size_t>(i)] == '9') {
            Digits[static_cast<size_t>(i)] = '0';
            --i;
        }
        if (i < 0) {
            Digits.insert(Digits.begin(), '1');
            Digits.pop_back();
            ++Exponent;
        } else {
            ++Digits[static_cast<size_t>(i)];
        }
    }
    while (Digits.size() > 1 && Digits.back() == '0')
        Digits.pop_back();
}
} // namespace

char DecimalSeparator() {
    if (!gSeparator) gSeparator = LocaleSeparator();
    return *gSeparator;
}

void SetDecimalSeparator(char Separator) {
    gSeparator = Separator;
}

std::string FloatToStrGeneral(double Value, int Precision, int Digits) {
    if (std::isnan(Value)) return "NAN";
    if (std::isinf(Value)) return Value > 0 ? "INF" : "-INF";
    if (Precision < 1) Precision = 1;
    if (Precision > 18) Precision = 18;
    if (Value == 0) return "0";
    std::string digits;
    int exponent = 0;
    DecimalDigits(Value, Precision, digits, exponent);
    const char sep = DecimalSeparator();
    std::string text = Value < 0 ? "-" : "";
    const int count = static_cast<int>(digits.size());
    if (exponent < Precision && exponent >= -5) {
        if (exponent < 0) {
            text += '0';
            text += sep;
            text.append(static_cast<size_t>(-exponent - 1), '0');
            text += digits;
        } else {
            const int integerDigits = exponent + 1;
            for (int i = 0; i < integerDigits; ++i)
                text += i < count ? digits[static_cast<size_t>(i)] : '0';
            if (count > integerDigits) {
                text += sep;
                text += digits.substr(static_cast<size_t>(integerDigits));
            }
        }
        return text;
    }
    text += digits[0];
    if (count > 1) {
        text += sep;
        text += digits.substr(1);
    }
    std::string exp = std::to_string(std::abs(exponent));
    if (static_cast<int>(exp.size()) < Digits)
        exp.insert(0, static_cast<size_t>(Digits - static_cast<int>(exp.size())), '0');
    text += exponent < 0 ? "E-" : "E+";
    text += exp;
    return text;
}

std::string FormatFixedPoint(double Value, int Decimals) {
    // snprintf follows LC_NUMERIC; the point is put back in whatever it chose.
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", Decimals, Value);
    std::string text = buffer;
    const char localePoint = *std::localeconv()->decimal_point;
    if (localePoint != '.')
        for (char& c : text)
            if (c == localePoint) c = '.';
    return text;
}

std::string Format(const char* Fmt, ...) {
    va_list args;
    va_start(args, Fmt);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, Fmt, copy);
    va_end(copy);
    std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) std::vsnprintf(text.data(), text.size() + 1, Fmt, args);
    va_end(args);
    return text;
}

std::string IndexErrorText(int Index, const std::string& Where) {
    return Format("%s: Index out of bounds(%d)", Where.c_str(), Index);
}

std::string FormatByteSize(int32_t Bytes) {
    constexpr int32_t Gb = 1073741824;
    constexpr int32_t Mb = 1048576;
    constexpr int32_t Kb = 1024;
    if (Bytes / Gb > 0) return FloatToStrGeneral(static_cast<double>(Bytes) / Gb, 5, 2) + " Gb";
    if (Bytes / Mb > 0) return FloatToStrGeneral(static_cast<double>(Bytes) / Mb, 5, 2) + " Mb";
    if (Bytes / Kb > 0) return FloatToStrGeneral(static_cast<double>(Bytes) / Kb, 5, 2) + " Kb";
    return std::to_string(Bytes) + " bytes";
}
