// SPDX-License-Identifier: GPL-3.0-or-later
// The formats read through ImageMagick's Magick++ (PSD, Targa, PCX, SGI, PCD, PPM/PGM/PBM,
// CUT, RLA, icons, Windows metafiles). ImageMagick's resource limits are lowered to what the
// program can hold, so a small file that claims a huge picture is refused before allocating.
#pragma once

#include <string>

class TBitmap32;
class TStream;

// Reads from the stream's position to its end with ImageMagick's coder Magick ("TGA", "PSD",
// ...). Format names the file in messages. Of a file with several pictures, the first is read;
// of an icon file, the largest. The Orientation of the picture's EXIF data turns it upright.
void ReadWithMagick(TBitmap32& Dest, TStream& Stream, const std::string& Magick, const std::string& Format);
