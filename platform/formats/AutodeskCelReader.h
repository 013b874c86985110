// SPDX-License-Identifier: GPL-3.0-or-later
// Autodesk Animator cel and picture files: a 32-byte header, a palette of 256 colours with
// six bits a channel, and one palette index a pixel, top row first.
#pragma once

class TBitmap32;
class TStream;

void ReadAutodeskCel(TBitmap32& Dest, TStream& Stream);
