// SPDX-License-Identifier: GPL-3.0-or-later
// Windows BMP files: the 32-bit form that keeps alpha, and the variants people's pictures use.
#pragma once

#include "platform/raster/Bitmap32.h"

#include <cstdint>

class TStream;

// A 32-bit BMP, written so that reading it back gives every pixel bit for bit, alpha included.
void WriteBmp(const TBitmap32& Bitmap, TStream& Stream);

// Reads a BMP from the stream's position: 1, 4, 8, 16, 24 and 32 bits, RLE4, RLE8, bit fields,
// bottom-up and top-down. A damaged or truncated file raises an Exception; nothing is read past
// the picture's data. A picture of more than MaxPixels pixels (the read limit of the picture
// formats, say) is refused with the too-large message before anything is allocated for it.
void ReadBmp(TBitmap32& Bitmap, TStream& Stream, int64_t MaxPixels = MaxBitmapPixels);
