// SPDX-License-Identifier: GPL-3.0-or-later
// The stream form of curve records, as pattern files hold them.
#pragma once

#include "engine/QTypes.h"

#include <span>

class TStream;

// Curve records: 32 bytes each (x then y of start, control 1, control 2, end, signed 32-bit,
// little-endian), one stream write or read per record.
void WriteCurves(TStream& Stream, std::span<const TBezierCurve> Curves);
// Reads one record into each element of Curves, in order. Data that ends before the last
// element is filled raises an Exception.
void ReadCurves(TStream& Stream, std::span<TBezierCurve> Curves);
