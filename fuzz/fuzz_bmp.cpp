// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the BMP reader: it may refuse them with an Exception, nothing else.
#include "platform/raster/Bitmap32.h"
#include "platform/raster/BmpCodec.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    // Keep each run cheap: pictures above four megapixels are legal but only slow the search.
    if (Size >= 26) {
        const uint32_t header = TStream::FromLittleEndian<uint32_t>(Data + 14);
        int64_t w, h;
        if (header == 12) {
            w = TStream::FromLittleEndian<uint16_t>(Data + 18);
            h = TStream::FromLittleEndian<uint16_t>(Data + 20);
        } else {
            w = TStream::FromLittleEndian<int32_t>(Data + 18);
            h = TStream::FromLittleEndian<int32_t>(Data + 22);
        }
        if (std::llabs(w * h) > (int64_t{1} << 22)) return 0;
    }
    TMemoryStream stream;
    stream.WriteBuffer(Data, Size);
    stream.SetPosition(0);
    TBitmap32 bitmap;
    try {
        ReadBmp(bitmap, stream);
    } catch (const Exception&) {}
    return 0;
}
