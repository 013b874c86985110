// SPDX-License-Identifier: GPL-3.0-or-later
// Style files ("*.gst") from outside bytes. A damaged file may only raise an Exception and leave
// the style as it was; a style that loads holds values inside the file limits and is written
// back with the same header. The loader's own bound on the preview's size keeps every run small,
// so no lower picture limit is set here.
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "presets/Styles.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream;
    stream.WriteBuffer(Data, Size);
    stream.SetPosition(0);
    TQStyle style;
    try {
        style.LoadFromStream(stream);
    } catch (const Exception&) {
        if (!style.Dirty || style.Length != 100 || !style.Name.empty()) std::abort();
        return 0;
    }
    using L = TStyleLimits;
    if (style.Dirty || style.Length < L::MinLength || style.Length > L::MaxLength) std::abort();
    if (!(style.Gain >= 0 && style.Gain <= L::MaxGain) || !(style.Width >= 0 && style.Width <= L::MaxWidth))
        std::abort();
    if (style.PolyStep < L::MinPolyStep || style.PolyStep > L::MaxPolyStep) std::abort();

    // Written back: the header is the file's own, with a name count below 1 written as 0 and
    // the flag byte as 0 or 1.
    TMemoryStream written;
    style.SaveToStream(written);
    const size_t name = style.Name.size();
    const uint8_t* out = written.Memory();
    if (static_cast<size_t>(written.Size()) < 35 + name) std::abort();
    if (name > 0 && std::memcmp(out, Data, 4) != 0) std::abort();
    if (std::memcmp(out + 4, Data + 4, name + 16) != 0) std::abort();
    if (out[20 + name] != (Data[20 + name] != 0 ? 1 : 0)) std::abort();
    if (std::memcmp(out + 21 + name, Data + 21 + name, 14) != 0) std::abort();
    return 0;
}
