// Feeds arbitrary bytes to the Wavefront RLA reader: it may refuse them with an
// Exception, nothing else.
#include "platform/formats/PictureFormats.h"
#include "platform/formats/WavefrontRlaReader.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    // Pictures above four megapixels are legal but only slow the search down.
    SetPictureReadLimit(int64_t{1} << 22);
    TMemoryStream stream;
    stream.WriteBuffer(Data, Size);
    stream.SetPosition(0);
    TBitmap32 bitmap;
    try {
        ReadWavefrontRla(bitmap, stream);
    } catch (const Exception&) {}
    return 0;
}
