// SPDX-License-Identifier: GPL-3.0-or-later
// Number formatting as the texts of the system show numbers.
#pragma once

#include <cstdint>
#include <string>

// The user's decimal separator, read once from the environment's locale (LC_NUMERIC, LANG);
// "." when the locale cannot be read. Tests may set it.
char DecimalSeparator();
void SetDecimalSeparator(char Separator);

// The general format: up to Precision significant digits, no trailing zeros, fixed notation
// while the number of integer digits is at most Precision and |Value| >= 0.00001, otherwise
// scientific with at least Digits exponent digits ("1.5E+10"). Halves round away from zero.
// Uses the user's decimal separator.
std::string FloatToStrGeneral(double Value, int Precision, int Digits);

// Fixed notation with Decimals digits after a point, whatever the locale ("12.3400").
std::string FormatFixedPoint(double Value, int Decimals);

// printf-style formatting into a std::string (the C locale's point for floats).
std::string Format(const char* Fmt, ...) __attribute__((format(printf, 1, 2)));

// "Where: Index out of bounds(Index)", the message of the list getters' index errors.
std::string IndexErrorText(int Index, const std::string& Where);

// A byte count as text: "1023 bytes", "1.5 Kb", "1 Mb", "2.25 Gb" (up to five significant
// digits, the user's decimal separator).
std::string FormatByteSize(int32_t Bytes);
