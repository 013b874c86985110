// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/AutodeskCelReader.h"

#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {
constexpr uint16_t CelMagic = 0x9119;
constexpr uint16_t FlicMagic = 0xAF11;    // Animator's FLI
constexpr uint16_t FlicProMagic = 0xAF12; // Animator Pro's FLC
constexpr size_t HeaderSize = 32;
constexpr size_t PaletteSize = 768;
} // namespace

// Header, little-endian: magic $9119, width, height, x and y offset (16 bits each), bits per
// pixel (8), compression (0: none), the size of the pixel data (32 bits), 16 reserved bytes.
void ReadAutodeskCel(TBitmap32& Dest, TStream& Stream) {
    unsigned char head[HeaderSize];
    const size_t got = Stream.Read(head, sizeof head);
    if (got >= 2 && TStream::FromLittleEndian<uint16_t>(head) != CelMagic) {
        // Animator Pro's cels are FLIC animations: a 32-bit size, then $AF11 or $AF12.
        const uint16_t flic = got >= 6 ? TStream::FromLittleEndian<uint16_t>(head + 4) : 0;
        if (flic == FlicMagic || flic == FlicProMagic)
            RaiseException(
                "Unsupported Autodesk cel file: the cels of Animator Pro, which are FLIC animations, "
                "are not read");
        RaiseException("Not an Autodesk Animator cel file: the signature is missing");
    }
    if (got != sizeof head) RaiseDamaged("Autodesk cel", "the file ends inside the header");
    const int width = TStream::FromLittleEndian<uint16_t>(head + 2);
    const int height = TStream::FromLittleEndian<uint16_t>(head + 4);
    const int bits = head[10];
    const int compression = head[11];
    if (bits != 8)
        RaiseException("Unsupported Autodesk cel file: " + std::to_string(bits) + " bits per pixel");
    if (compression != 0) RaiseException("Unsupported Autodesk cel file: compressed pixel data");
    CheckPictureSize(width, height, "Autodesk cel");

    unsigned char palette[PaletteSize];
    if (Stream.Read(palette, sizeof palette) != sizeof palette)
        RaiseDamaged("Autodesk cel", "the file ends inside the palette");
    // The palette holds 0..63; a file whose palette uses the whole byte is read as 8-bit.
    const bool sixBit = std::all_of(palette, palette + PaletteSize, [](unsigned char v) { return v < 64; });
    std::array<TColor32, 256> colors;
    for (size_t i = 0; i < 256; ++i) {
        auto scale = [&](unsigned char v) { return sixBit ? static_cast<uint8_t>((v << 2) | (v >> 4)) : v; };
        colors[i] = Color32(scale(palette[3 * i]), scale(palette[3 * i + 1]), scale(palette[3 * i + 2]));
    }

    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (Stream.Size() - Stream.Position() < static_cast<int64_t>(count))
        RaiseDamaged("Autodesk cel", "the pixel data is truncated");
    Dest.SetSize(width, height);
    std::vector<unsigned char> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        if (Stream.Read(row.data(), row.size()) != row.size())
            RaiseDamaged("Autodesk cel", "the pixel data is truncated");
        TColor32* d = Dest.ScanLine(y);
        for (int x = 0; x < width; ++x)
            d[x] = colors[row[static_cast<size_t>(x)]];
    }
}
