// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes through the picture-format registry: the first byte picks one of the
// formats the registry reads, the rest is the file. Every reader may refuse the bytes with an
// Exception, nothing else.
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static const std::vector<TPictureFormat> formats = [] {
        RegisterPictureFormats();
        SetPictureReadLimit(int64_t{1} << 22); // pictures above four megapixels only slow the search down
        std::vector<TPictureFormat> read = PictureFormats();
        std::erase_if(read, [](const TPictureFormat& f) { return !f.Reader; });
        return read;
    }();
    if (Size < 1) return 0;
    const TPictureFormat& format = formats[Data[0] % formats.size()];
    TMemoryStream stream;
    stream.WriteBuffer(Data + 1, Size - 1);
    stream.SetPosition(0);
    TBitmap32 bitmap;
    try {
        LoadPicture(bitmap, stream, format.Extensions.front());
    } catch (const Exception&) {}
    return 0;
}
