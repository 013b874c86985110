// SPDX-License-Identifier: GPL-3.0-or-later
// The orientation a camera or a scanner records beside the pixels: the numbers 1 to 8 of the
// EXIF and TIFF Orientation tag, which say where the stored rows and columns belong when the
// picture is shown upright.
#pragma once

#include <cstddef>

class TBitmap32;

// The Orientation of EXIF data, 1 to 8, or 0 when the data holds none or cannot be read.
// Data is a TIFF header with its directories ("II*\0" or "MM\0*"), as a PNG eXIf chunk holds
// it, or the same after the "Exif\0\0" of a JPEG APP1 segment.
int ExifOrientation(const unsigned char* Data, size_t Size);

// Turns a picture stored as Orientation says upright: 1 leaves it, 2 mirrors it, 3 turns it
// half round, 4 flips it upside down, 5 transposes it, 6 turns it a quarter clockwise, 7
// transposes it across the other diagonal, 8 turns it a quarter anticlockwise. 5 to 8 swap the
// width and the height. Any other value leaves the picture as it is.
void ApplyOrientation(TBitmap32& Picture, int Orientation);
