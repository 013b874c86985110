// SPDX-License-Identifier: GPL-3.0-or-later
// PNG pictures through libpng: every colour type and depth, interlaced or not. Transparency
// in the file becomes the bitmap's alpha; everything else is opaque. The Orientation of an
// eXIf chunk turns the picture upright.
#pragma once

class TBitmap32;
class TStream;

// Reads from the stream's position to its end.
void ReadPng(TBitmap32& Dest, TStream& Stream);
