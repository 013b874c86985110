// SPDX-License-Identifier: GPL-3.0-or-later
// Wavefront RLA pictures: a 740-byte big-endian header, a table of scan-line offsets (bottom
// line first) and each line's channels run-length coded one after another. ImageMagick's
// reader of this version refuses every picture of more than one line, so the program reads
// the format itself: 8-bit colour channels, a matte channel as alpha, other channels skipped.
#pragma once

class TBitmap32;
class TStream;

void ReadWavefrontRla(TBitmap32& Dest, TStream& Stream);
