// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/WavefrontRlaReader.h"

#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char* const Name = "RLA";
constexpr size_t HeaderSize = 740;
// Field offsets in the header.
constexpr size_t ActiveWindow = 8;   // left, right, bottom, top: 16 bits each
constexpr size_t ChannelCounts = 20; // colour, matte, auxiliary channels
constexpr size_t ChannelBits = 658;  // bits of a colour channel, then matte type and bits, aux type and bits

int16_t S16(const unsigned char* P) {
    return static_cast<int16_t>((P[0] << 8) | P[1]);
}
uint32_t U32(const unsigned char* P) {
    return (uint32_t{P[0]} << 24) | (uint32_t{P[1]} << 16) | (uint32_t{P[2]} << 8) | P[3];
}

[[noreturn]] void Damaged(const std::string& Why) {
    RaiseDamaged(Name, Why);
}

// One channel of one line: a 16-bit length, then runs. A count byte c of 0..127 repeats the
// next byte c + 1 times; a negative c copies the next -c bytes. Out may be null for a channel
// that is skipped; its bytes are then only counted.
size_t DecodeChannel(const std::vector<unsigned char>& File, size_t Pos, unsigned char* Out, size_t Width) {
    if (Pos > File.size() || File.size() - Pos < 2) Damaged("a scan line is truncated");
    const size_t length = static_cast<uint16_t>(S16(&File[Pos]));
    Pos += 2;
    if (length > File.size() - Pos) Damaged("a scan line is truncated");
    const size_t end = Pos + length;
    size_t x = 0;
    while (Pos < end) {
        const int c = static_cast<int8_t>(File[Pos++]);
        if (c >= 0) {
            if (Pos >= end) Damaged("a run is truncated");
            const unsigned char v = File[Pos++];
            for (int i = 0; i <= c; ++i, ++x)
                if (Out != nullptr && x < Width) Out[x] = v;
        } else {
            const size_t n = static_cast<size_t>(-c);
            if (n > end - Pos) Damaged("a run is truncated");
            for (size_t i = 0; i < n; ++i, ++x)
                if (Out != nullptr && x < Width) Out[x] = File[Pos + i];
            Pos += n;
        }
    }
    if (Out != nullptr && x < Width) Damaged("a scan line is shorter than the picture");
    return end;
}

} // namespace

void ReadWavefrontRla(TBitmap32& Dest, TStream& Stream) {
    const std::vector<unsigned char> file = ReadToEnd(Stream);
    if (file.size() < HeaderSize) Damaged("the file ends inside the header");
    const unsigned char* h = file.data();
    const int left = S16(h + ActiveWindow), right = S16(h + ActiveWindow + 2);
    const int bottom = S16(h + ActiveWindow + 4), top = S16(h + ActiveWindow + 6);
    const int colours = S16(h + ChannelCounts);
    const int mattes = S16(h + ChannelCounts + 2);
    const int aux = S16(h + ChannelCounts + 4);
    const int bits = S16(h + ChannelBits);
    const int matteBits = S16(h + ChannelBits + 4);
    if (colours != 1 && colours != 3)
        RaiseException("Unsupported RLA file: " + std::to_string(colours) + " colour channels");
    if (mattes < 0 || mattes > 1 || aux < 0 || aux > 8) Damaged("the channel counts are out of range");
    if (bits != 8 || (mattes > 0 && matteBits != 8 && matteBits != 0))
        RaiseException("Unsupported RLA file: only 8-bit channels are read");
    CheckPictureSize(int64_t{right} - left + 1, int64_t{top} - bottom + 1, Name);
    const int width = right - left + 1;
    const int height = top - bottom + 1;
    if (file.size() - HeaderSize < size_t{4} * static_cast<size_t>(height))
        Damaged("the scan-line table is truncated");

    Dest.SetSize(width, height);
    std::vector<unsigned char> planes(static_cast<size_t>(width) * 4, 0xFF);
    unsigned char* r = planes.data();
    unsigned char* g = r + width;
    unsigned char* b = g + width;
    unsigned char* a = b + width;
    for (int line = 0; line < height; ++line) {
        // The table starts with the bottom line.
        size_t pos = U32(h + HeaderSize + 4 * static_cast<size_t>(line));
        if (colours == 3) {
            pos = DecodeChannel(file, pos, r, static_cast<size_t>(width));
            pos = DecodeChannel(file, pos, g, static_cast<size_t>(width));
            pos = DecodeChannel(file, pos, b, static_cast<size_t>(width));
        } else {
            pos = DecodeChannel(file, pos, r, static_cast<size_t>(width));
            std::copy(r, r + width, g);
            std::copy(r, r + width, b);
        }
        if (mattes == 1) DecodeChannel(file, pos, a, static_cast<size_t>(width));
        TColor32* d = Dest.ScanLine(height - 1 - line);
        for (int x = 0; x < width; ++x)
            d[x] = Color32(r[x], g[x], b[x], a[x]);
    }
}
