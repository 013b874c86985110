// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the EXIF reader of the orientation tag, and turns a small picture
// by what it finds: it may return any number, but read nothing outside the bytes, and the
// turned picture keeps its pixels.
#include "platform/formats/PictureOrientation.h"
#include "platform/raster/Bitmap32.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TBitmap32 picture(3, 2);
    ApplyOrientation(picture, ExifOrientation(Data, Size));
    if (int64_t{picture.Width()} * picture.Height() != 6) __builtin_trap();
    return 0;
}
