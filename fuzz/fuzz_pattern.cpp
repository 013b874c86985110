// SPDX-License-Identifier: GPL-3.0-or-later
// Pattern files ("*.stk") from outside bytes. A damaged file may only raise an Exception; a
// pattern that loads is drawn as the main window draws it (a thumbnail of every frame), picked
// from as the Pattern tool picks, and written back to the same bytes less its empty frames.
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "presets/Patterns.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream;
    stream.WriteBuffer(Data, Size);
    stream.SetPosition(0);
    TPattern pattern;
    try {
        pattern.LoadFromStream(stream);
    } catch (const Exception&) {
        if (pattern.FrameCount() != 0) std::abort();
        return 0;
    }
    int64_t curves = 0;
    for (const auto& frame : pattern.Frames) {
        if (frame->Count() == 0) std::abort();
        curves += frame->Count();
    }
    TBitmap32 target(80, 80);
    target.Clear(0xFFFFFFFF);
    pattern.SetTarget(&target);
    const auto thumbnail = pattern.Thumbnail(40, 40);
    if (curves > 0) pattern.RandomFrame().RandomCurve();

    TMemoryStream written;
    pattern.SaveToStream(written);
    written.SetPosition(0);
    TPattern again;
    again.LoadFromStream(written);
    if (again.FrameCount() != pattern.FrameCount()) std::abort();
    for (int32_t i = 0; i < again.FrameCount(); ++i)
        if (again.GetFrames(i).Curves != pattern.GetFrames(i).Curves) std::abort();
    return 0;
}
