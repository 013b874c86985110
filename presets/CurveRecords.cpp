// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/CurveRecords.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <cstddef>
#include <cstdint>

namespace {
constexpr size_t CurveRecordSize = 32;
} // namespace

void WriteCurves(TStream& Stream, std::span<const TBezierCurve> Curves) {
    for (const TBezierCurve& c : Curves) {
        const int32_t fields[8] = {c.P0.X, c.P0.Y, c.C1.X, c.C1.Y, c.C2.X, c.C2.Y, c.P3.X, c.P3.Y};
        unsigned char bytes[CurveRecordSize];
        for (size_t i = 0; i < 8; ++i)
            TStream::ToLittleEndian(fields[i], bytes + 4 * i);
        Stream.WriteBuffer(bytes, sizeof bytes);
    }
}

void ReadCurves(TStream& Stream, std::span<TBezierCurve> Curves) {
    for (TBezierCurve& c : Curves) {
        unsigned char bytes[CurveRecordSize];
        if (Stream.Read(bytes, sizeof bytes) != sizeof bytes)
            RaiseException("ReadCurves: the curve data ends before its last curve");
        int32_t fields[8];
        for (size_t i = 0; i < 8; ++i)
            fields[i] = TStream::FromLittleEndian<int32_t>(bytes + 4 * i);
        c = TBezierCurve{
            {fields[0], fields[1]}, {fields[2], fields[3]}, {fields[4], fields[5]}, {fields[6], fields[7]}};
    }
}
