// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the BMP reader: it may refuse them with an Exception, nothing else.
#include "platform/raster/Bitmap32.h"
#include "platform/raster/BmpCodec.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream stream;
    stream.WriteBuffer(Data, Size);
    stream.SetPosition(0);
    TBitmap32 bitmap;
    try {
        // Pictures above four megapixels are refused: they are legal but only slow the search.
        ReadBmp(bitmap, stream, int64_t{1} << 22);
    } catch (const Exception&) {}
    return 0;
}
