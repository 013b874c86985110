// SPDX-License-Identifier: GPL-3.0-or-later
// Paint Shop Pro pictures (.psp, .pspimage): the composite image that Paint Shop Pro 6 and
// later store beside the layers, uncompressed, run-length or LZ77 (zlib) coded, or as JPEG.
#pragma once

class TBitmap32;
class TStream;

void ReadPaintShopPro(TBitmap32& Dest, TStream& Stream);
