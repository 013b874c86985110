// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to one of the picture readers of our own: the Autodesk Animator cel, the
// EPS preview (and libtiff behind it), Paint Shop Pro or Wavefront RLA reader, the one the build
// names in QUOR_FUZZ_READER. It may refuse them with an Exception, nothing else.
#include "platform/formats/AutodeskCelReader.h"
#include "platform/formats/EpsPreviewReader.h"
#include "platform/formats/PaintShopProReader.h"
#include "platform/formats/PictureFormats.h"
#include "platform/formats/WavefrontRlaReader.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <cstdint>

#ifndef QUOR_FUZZ_READER
#error "QUOR_FUZZ_READER names the reader to fuzz, for example ReadAutodeskCel"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    // Pictures above four megapixels are legal but only slow the search down.
    SetPictureReadLimit(int64_t{1} << 22);
    TMemoryStream stream;
    stream.WriteBuffer(Data, Size);
    stream.SetPosition(0);
    TBitmap32 bitmap;
    try {
        QUOR_FUZZ_READER(bitmap, stream);
    } catch (const Exception&) {}
    return 0;
}
