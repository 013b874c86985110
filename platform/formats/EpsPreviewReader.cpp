// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/EpsPreviewReader.h"

#include "platform/formats/PictureFormats.h"
#include "platform/formats/TiffReader.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <vector>

// The binary header, little-endian: magic C5 D0 D3 C6, then offset and length of the
// PostScript, of a Windows metafile preview and of a TIFF preview, then a checksum.
void ReadEpsPreview(TBitmap32& Dest, TStream& Stream) {
    const std::vector<unsigned char> data = ReadToEnd(Stream);
    if (data.size() >= 2 && data[0] == '%' && data[1] == '!')
        RaiseException("This EPS file holds no TIFF preview (it has no binary header)");
    if (data.size() < 30) RaiseDamaged("EPS", "the file is too short");
    if (TStream::FromLittleEndian<uint32_t>(data.data()) != 0xC6D3D0C5u)
        RaiseException("Not an EPS file: the binary header is missing");
    const uint32_t offset = TStream::FromLittleEndian<uint32_t>(data.data() + 20);
    const uint32_t length = TStream::FromLittleEndian<uint32_t>(data.data() + 24);
    if (offset == 0 || length == 0) RaiseException("This EPS file holds no TIFF preview");
    if (offset > data.size() || length > data.size() - offset)
        RaiseDamaged("EPS", "the TIFF preview lies beyond the end of the file");
    ReadTiffMemory(Dest, data.data() + offset, length, "EPS preview");
}
