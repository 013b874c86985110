// SPDX-License-Identifier: GPL-3.0-or-later
// TIFF pictures through libtiff: every compression and layout that libtiff decodes, LZW
// among them. The first page of a file with several is read, turned upright as its
// Orientation tag says.
#pragma once

#include <cstddef>

class TBitmap32;
class TStream;

// Reads from the stream's position to its end.
void ReadTiff(TBitmap32& Dest, TStream& Stream);
// Reads a TIFF held in memory (the preview inside an EPS file). Format names the file in
// messages.
void ReadTiffMemory(TBitmap32& Dest, const unsigned char* Data, size_t Size, const char* Format = "TIFF");
