// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG pictures through libjpeg: the registry's reader and writer, and the previews stored
// inside style files.
#pragma once

#include <cstdint>

class TBitmap32;
class TStream;

// Decodes a JPEG from the stream's position to its end into Dest (opaque, top row first),
// turned upright as the Orientation of its EXIF segment says. Grey, colour and CMYK pictures
// are read; a damaged or truncated file raises an Exception.
void ReadJpeg(TBitmap32& Dest, TStream& Stream);
// ReadJpeg for a picture of known size, such as a preview inside another file: one wider than
// MaxWidth or taller than MaxHeight is refused as damaged before anything is decoded.
void ReadJpegWithin(TBitmap32& Dest, TStream& Stream, int MaxWidth, int MaxHeight);

// Encodes Source (alpha dropped) as a baseline JPEG of the given quality (1..100) at the
// stream's position. No resolution is stored.
void WriteJpeg(const TBitmap32& Source, TStream& Stream, int Quality);

// The previews of style files. LoadJpegImage decodes a JPEG from the stream's position to its
// end into Dest (opaque pixels); a damaged picture raises an Exception and leaves Dest as it
// was. A picture wider than MaxWidth or taller than MaxHeight is refused as damaged before it
// is decoded, and so is data that ends early.
void LoadJpegImage(TBitmap32& Dest, TStream& Stream, int32_t MaxWidth, int32_t MaxHeight);
// Encodes Source as a JPEG of the given quality (1..100) into the stream at its position.
void SaveJpegImage(const TBitmap32& Source, TStream& Stream, uint8_t Quality);
