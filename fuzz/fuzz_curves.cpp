// SPDX-License-Identifier: GPL-3.0-or-later
// Curve records read from outside bytes: a count byte, then the records. Data that ends early
// raises an Exception; nothing else may happen.
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "presets/CurveRecords.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size == 0) return 0;
    TMemoryStream stream;
    stream.WriteBuffer(Data + 1, Size - 1);
    stream.SetPosition(0);
    TBezierCurves curves(Data[0]);
    try {
        ReadCurves(stream, curves);
        if (stream.Position() != static_cast<int64_t>(curves.size()) * 32) std::abort();
    } catch (const Exception&) {
        if (Size - 1 >= static_cast<size_t>(Data[0]) * 32) std::abort();
    }
    return 0;
}
