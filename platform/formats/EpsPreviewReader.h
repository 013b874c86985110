// SPDX-License-Identifier: GPL-3.0-or-later
// The TIFF preview of an Encapsulated PostScript file: the binary EPS header points at a TIFF
// picture of the page, which libtiff decodes. The PostScript itself is not interpreted.
#pragma once

class TBitmap32;
class TStream;

void ReadEpsPreview(TBitmap32& Dest, TStream& Stream);
