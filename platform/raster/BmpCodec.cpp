// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/raster/BmpCodec.h"

#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Layout

constexpr uint32_t FileHeaderSize = 14;
constexpr uint32_t CoreHeaderSize = 12; // OS/2 1.x: 16-bit sizes, 3-byte palette entries
constexpr uint32_t InfoHeaderSize = 40; // BITMAPINFOHEADER
constexpr uint32_t V5HeaderSize = 124;  // BITMAPV5HEADER, the one we write
constexpr uint32_t MaxHeaderSize = 124;

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint32_t BI_ALPHABITFIELDS = 6;

constexpr uint32_t LCS_sRGB = 0x73524742; // 'sRGB'
constexpr uint32_t LCS_GM_IMAGES = 4;
constexpr int32_t PixelsPerMeter72Dpi = 2835;

[[noreturn]] void Damaged(const std::string& Why) {
    RaiseException("Damaged BMP file: " + Why);
}

uint16_t Get16(const unsigned char* P) {
    return TStream::FromLittleEndian<uint16_t>(P);
}
uint32_t Get32(const unsigned char* P) {
    return TStream::FromLittleEndian<uint32_t>(P);
}
int32_t GetS32(const unsigned char* P) {
    return TStream::FromLittleEndian<int32_t>(P);
}

// Reads exactly Count bytes or reports the file as truncated.
void ReadExactly(TStream& Stream, void* Buffer, size_t Count, const char* What) {
    if (Count != 0 && Stream.Read(Buffer, Count) != Count)
        Damaged(std::string("the file ends inside ") + What);
}

// One colour channel described by a bit mask, scaled to 0..255.
struct TChannelMask {
    uint32_t Mask = 0;
    int Shift = 0;
    uint32_t Max = 0; // the largest value of the field

    explicit TChannelMask(uint32_t M = 0) : Mask(M) {
        if (M == 0) return;
        Shift = std::countr_zero(M);
        // A mask with holes is read as its whole span.
        const int bits = std::bit_width(M >> Shift);
        Max = bits >= 32 ? 0xFFFFFFFFu : (uint32_t{1} << bits) - 1;
    }
    uint8_t Extract(uint32_t V) const {
        if (Mask == 0) return 0;
        const uint32_t f = (V & Mask) >> Shift;
        if (Max == 255) return static_cast<uint8_t>(f);
        return static_cast<uint8_t>((uint64_t{f} * 255 + Max / 2) / Max);
    }
};

// Pulls bytes from the stream in blocks and, when done, puts the stream back right after the
// last byte consumed, so nothing past the picture's data counts as read.
class TByteSource {
public:
    TByteSource(TStream& Stream, int64_t Limit) : FStream(Stream), FRemaining(Limit) {}
    ~TByteSource() {
        // Give back what was fetched but not used.
        const int64_t unused = static_cast<int64_t>(FEnd - FPos);
        if (unused > 0) FStream.Seek(-unused, TSeekOrigin::soCurrent);
    }
    bool Next(uint8_t& B) {
        if (FPos == FEnd && !Fill()) return false;
        B = FBuffer[FPos++];
        return true;
    }
    uint8_t NextOrFail() {
        uint8_t b = 0;
        if (!Next(b)) Damaged("the compressed pixel data is truncated");
        return b;
    }

private:
    bool Fill() {
        if (FRemaining == 0) return false;
        const size_t want = static_cast<size_t>(std::min<int64_t>(FRemaining, sizeof FBuffer));
        const size_t got = FStream.Read(FBuffer, want);
        FRemaining -= static_cast<int64_t>(got);
        if (got < want) FRemaining = 0;
        FPos = 0;
        FEnd = got;
        return got != 0;
    }

    TStream& FStream;
    int64_t FRemaining;
    uint8_t FBuffer[4096];
    size_t FPos = 0;
    size_t FEnd = 0;
};

// What the headers say, as read and checked before any pixel.
struct THeader {
    uint32_t OffBits = 0;    // the pixel data's offset from the file's start [bytes]; 0: right after
    uint32_t HeaderSize = 0; // the bitmap header's own size [bytes], which tells its kind
    int64_t Consumed = 0;    // bytes read from the file's start so far
    int32_t Width = 0;
    int32_t Height = 0; // absolute
    bool TopDown = false;
    uint16_t BitCount = 0;
    uint32_t Compression = BI_RGB;
    uint32_t SizeImage = 0;
    uint32_t ColorsUsed = 0;
    uint32_t Masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    bool HasMasks = false;
    uint32_t PaletteEntrySize = 4;

    bool Rle() const { return Compression == BI_RLE8 || Compression == BI_RLE4; }
};

using TPalette = std::array<TColor32, 256>;

// Decodes run-length pixel data (RLE8 or RLE4) into palette indices, bottom row first.
void DecodeRle(TByteSource& Src, const THeader& H, const TPalette& Palette, TBitmap32& Bitmap) {
    const bool four = H.Compression == BI_RLE4;
    const int w = H.Width;
    const int h = H.Height;
    int x = 0;
    int row = 0; // counted from the bottom
    auto put = [&](uint8_t index) {
        if (x < w && row < h) Bitmap.SetPixel(x, h - 1 - row, Palette[index]);
        ++x;
    };
    for (;;) {
        uint8_t count = 0;
        if (!Src.Next(count)) {
            // The data ended without an end-of-bitmap marker: complete only when every row was ended.
            if (row >= h) return;
            Damaged("the compressed pixel data is truncated");
        }
        const uint8_t value = Src.NextOrFail();
        if (count > 0) {
            if (row >= h) Damaged("the compressed pixel data runs past the last row");
            for (int i = 0; i < count; ++i)
                put(four ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            ++row;
            break;
        case 1: // end of bitmap
            return;
        case 2: { // delta
            const uint8_t dx = Src.NextOrFail();
            const uint8_t dy = Src.NextOrFail();
            x += dx;
            row += dy;
            if (row > h) Damaged("a compressed move goes past the last row");
            break;
        }
        default: { // a literal run of `value` pixels, padded to a 16-bit boundary
            if (row >= h) Damaged("the compressed pixel data runs past the last row");
            const int n = value;
            const int bytes = four ? (n + 1) / 2 : n;
            uint8_t b = 0;
            for (int i = 0; i < n; ++i) {
                if (!four || (i & 1) == 0) b = Src.NextOrFail();
                put(four ? ((i & 1) ? (b & 0x0F) : (b >> 4)) : b);
            }
            if (bytes & 1) Src.NextOrFail();
            break;
        }
        }
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Writing

void WriteBmp(const TBitmap32& Bitmap, TStream& Stream) {
    const uint32_t w = static_cast<uint32_t>(Bitmap.Width());
    const uint32_t h = static_cast<uint32_t>(Bitmap.Height());
    const uint64_t imageSize = uint64_t{w} * h * 4;
    const uint64_t offBits = FileHeaderSize + V5HeaderSize;
    if (offBits + imageSize > 0xFFFFFFFFu) RaiseException("The bitmap is too large for a BMP file");

    unsigned char head[FileHeaderSize + V5HeaderSize] = {};
    unsigned char* p = head;
    auto put16 = [&](uint16_t v) {
        TStream::ToLittleEndian(v, p);
        p += 2;
    };
    auto put32 = [&](uint32_t v) {
        TStream::ToLittleEndian(v, p);
        p += 4;
    };
    *p++ = 'B';
    *p++ = 'M';
    put32(static_cast<uint32_t>(offBits + imageSize));
    put32(0); // reserved
    put32(static_cast<uint32_t>(offBits));
    put32(V5HeaderSize);
    put32(w);
    put32(h); // positive: bottom row first
    put16(1); // planes
    put16(32);
    put32(BI_BITFIELDS);
    put32(static_cast<uint32_t>(imageSize));
    put32(PixelsPerMeter72Dpi);
    put32(PixelsPerMeter72Dpi);
    put32(0); // colours used
    put32(0); // colours important
    put32(0x00FF0000u);
    put32(0x0000FF00u);
    put32(0x000000FFu);
    put32(0xFF000000u);
    put32(LCS_sRGB);
    p += 36 + 12; // end points and gamma: unused for sRGB
    put32(LCS_GM_IMAGES);
    // Profile data, profile size and reserved stay zero.
    Stream.WriteBuffer(head, sizeof head);

    std::vector<unsigned char> row(size_t{w} * 4);
    for (int y = static_cast<int>(h) - 1; y >= 0; --y) {
        const TColor32* s = Bitmap.ScanLine(y);
        for (uint32_t x = 0; x < w; ++x)
            TStream::ToLittleEndian(s[x], &row[size_t{x} * 4]);
        Stream.WriteBuffer(row.data(), row.size());
    }
}

// ---------------------------------------------------------------------------------------------
// Reading: the headers

namespace {

// Reads the file header and the bitmap header, in any of its eight sizes (OS/2 1.x, OS/2 2.x short
// and full, BITMAPINFOHEADER with no, three or four masks, V4, V5), up to the end of the bitmap
// header.
THeader ReadHeaders(TStream& Stream) {
    unsigned char fh[FileHeaderSize];
    const size_t got = Stream.Read(fh, sizeof fh);
    if (got >= 2 && (fh[0] != 'B' || fh[1] != 'M'))
        RaiseException("Not a BMP file: the signature \"BM\" is missing");
    if (got != sizeof fh) Damaged("the file ends inside the file header");
    THeader H;
    H.OffBits = Get32(fh + 10);

    unsigned char ih[MaxHeaderSize] = {};
    ReadExactly(Stream, ih, 4, "the bitmap header");
    H.HeaderSize = Get32(ih);
    switch (H.HeaderSize) {
    case CoreHeaderSize: {
        ReadExactly(Stream, ih + 4, H.HeaderSize - 4, "the bitmap header");
        H.Width = Get16(ih + 4);
        H.Height = Get16(ih + 6);
        H.BitCount = Get16(ih + 10);
        H.PaletteEntrySize = 3;
        break;
    }
    case 16: // OS/2 2.x, short and full forms
    case 64:
    case InfoHeaderSize:
    case 52: // with the three colour masks
    case 56: // with the alpha mask too
    case 108:
    case V5HeaderSize: {
        ReadExactly(Stream, ih + 4, H.HeaderSize - 4, "the bitmap header");
        H.Width = GetS32(ih + 4);
        const int32_t height = GetS32(ih + 8);
        if (height == INT32_MIN) Damaged("the height is out of range");
        H.TopDown = height < 0;
        H.Height = height < 0 ? -height : height;
        H.BitCount = Get16(ih + 14);
        if (H.HeaderSize >= 20) H.Compression = Get32(ih + 16);
        if (H.HeaderSize >= 24) H.SizeImage = Get32(ih + 20);
        if (H.HeaderSize >= 36) H.ColorsUsed = Get32(ih + 32);
        // OS/2 2.x headers number their compressions differently; only uncompressed ones are read.
        if (H.HeaderSize == 16 || H.HeaderSize == 64) {
            if (H.Compression != BI_RGB)
                RaiseException("Unsupported BMP file: compressed OS/2 bitmaps are not read");
        }
        if (H.HeaderSize >= 52) {
            for (int i = 0; i < 3; ++i)
                H.Masks[i] = Get32(ih + 40 + 4 * i);
            H.HasMasks = true;
        }
        if (H.HeaderSize >= 56) H.Masks[3] = Get32(ih + 52);
        break;
    }
    default:
        Damaged("unknown bitmap header size " + std::to_string(H.HeaderSize));
    }
    H.Consumed = FileHeaderSize + H.HeaderSize;
    return H;
}

// Checks the width, the depth and the compression against each other, and reads the colour
// masks that follow a BITMAPINFOHEADER with bit fields.
void CheckFormat(TStream& Stream, THeader& H) {
    if (H.Width < 0) Damaged("the width is negative");
    switch (H.BitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        RaiseException("Unsupported BMP file: " + std::to_string(H.BitCount) + " bits per pixel");
    }
    switch (H.Compression) {
    case BI_RGB:
        break;
    case BI_RLE8:
        if (H.BitCount != 8) Damaged("RLE8 compression needs 8 bits per pixel");
        break;
    case BI_RLE4:
        if (H.BitCount != 4) Damaged("RLE4 compression needs 4 bits per pixel");
        break;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS:
        if (H.BitCount != 16 && H.BitCount != 32) Damaged("bit fields need 16 or 32 bits per pixel");
        if (H.HeaderSize == InfoHeaderSize) {
            const int count = H.Compression == BI_ALPHABITFIELDS ? 4 : 3;
            unsigned char m[16];
            ReadExactly(Stream, m, size_t(count) * 4, "the colour masks");
            for (int i = 0; i < count; ++i)
                H.Masks[i] = Get32(m + 4 * i);
            H.HasMasks = true;
            H.Consumed += count * 4;
        }
        if (!H.HasMasks) Damaged("the colour masks are missing");
        break;
    default:
        RaiseException("Unsupported BMP file: compression " + std::to_string(H.Compression));
    }
    if (H.Rle() && H.TopDown) Damaged("a compressed bitmap cannot be stored top row first");
}

// The palette of a picture of up to 8 bits per pixel (black where it has no entry); all black
// otherwise.
TPalette ReadPalette(TStream& Stream, THeader& H) {
    TPalette palette;
    palette.fill(clBlack32);
    if (H.BitCount > 8) return palette;
    const uint32_t maxColors = uint32_t{1} << H.BitCount;
    uint32_t count = H.ColorsUsed == 0 ? maxColors : H.ColorsUsed;
    if (count > maxColors) {
        if (H.OffBits == 0) Damaged("too many palette entries");
        count = maxColors; // the rest is skipped by the data offset
    }
    // Some writers store fewer entries than the depth allows; the data offset tells.
    if (H.OffBits != 0 && H.OffBits >= H.Consumed)
        count =
            std::min<uint32_t>(count, static_cast<uint32_t>((H.OffBits - H.Consumed) / H.PaletteEntrySize));
    std::vector<unsigned char> entries(size_t{count} * H.PaletteEntrySize);
    ReadExactly(Stream, entries.data(), entries.size(), "the palette");
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* e = &entries[size_t{i} * H.PaletteEntrySize];
        palette[i] = Color32(e[2], e[1], e[0]);
    }
    H.Consumed += static_cast<int64_t>(entries.size());
    return palette;
}

// Puts the stream at the pixel data: the data offset, when given, wins over the layout of the
// headers. Start is the stream position of the file's first byte.
void SeekToPixels(TStream& Stream, int64_t Start, const THeader& H) {
    if (H.OffBits == 0) return;
    // Some writers leave out or miscount the palette; what lies before the offset is all the
    // header there is, as long as it does not cut into the bitmap header.
    if (H.OffBits < H.Consumed && H.OffBits < FileHeaderSize + H.HeaderSize)
        Damaged("the pixel data offset points into the header");
    Stream.SetPosition(Start + H.OffBits);
}

// ---------------------------------------------------------------------------------------------
// Reading: the pixels

// How the 16- and 32-bit forms hold a pixel's channels: by the masks of bit fields, else 5-5-5 and
// 8-8-8 without alpha.
struct TPixelMasks {
    TChannelMask Red, Green, Blue, Alpha;
    bool UseAlpha = false;
    bool Standard32 = false; // 8-8-8 in the low three bytes, alpha (if any) in the high one

    explicit TPixelMasks(const THeader& H) {
        if (H.BitCount != 16 && H.BitCount != 32) return;
        if (H.Compression == BI_RGB) {
            if (H.BitCount == 16) {
                Red = TChannelMask(0x7C00);
                Green = TChannelMask(0x03E0);
                Blue = TChannelMask(0x001F);
            } else {
                Red = TChannelMask(0x00FF0000);
                Green = TChannelMask(0x0000FF00);
                Blue = TChannelMask(0x000000FF);
            }
        } else {
            const uint32_t limit = H.BitCount == 16 ? 0xFFFFu : 0xFFFFFFFFu;
            Red = TChannelMask(H.Masks[0] & limit);
            Green = TChannelMask(H.Masks[1] & limit);
            Blue = TChannelMask(H.Masks[2] & limit);
            Alpha = TChannelMask(H.Masks[3] & limit);
            UseAlpha = Alpha.Mask != 0;
        }
        Standard32 = H.BitCount == 32 && Red.Mask == 0x00FF0000u && Green.Mask == 0x0000FF00u &&
                     Blue.Mask == 0x000000FFu && (!UseAlpha || Alpha.Mask == 0xFF000000u);
    }
    TColor32 Decode(uint32_t V) const {
        return Color32(Red.Extract(V), Green.Extract(V), Blue.Extract(V), UseAlpha ? Alpha.Extract(V) : 0xFF);
    }
};

// Decodes one uncompressed row of W pixels.
void DecodeRow(const unsigned char* S, TColor32* D, int W, const THeader& H, const TPalette& Palette,
               const TPixelMasks& M) {
    switch (H.BitCount) {
    case 1:
        for (int x = 0; x < W; ++x)
            D[x] = Palette[(S[x >> 3] >> (7 - (x & 7))) & 1];
        break;
    case 4:
        for (int x = 0; x < W; ++x)
            D[x] = Palette[(x & 1) ? (S[x >> 1] & 0x0F) : (S[x >> 1] >> 4)];
        break;
    case 8:
        for (int x = 0; x < W; ++x)
            D[x] = Palette[S[x]];
        break;
    case 24:
        for (int x = 0; x < W; ++x, S += 3)
            D[x] = Color32(S[2], S[1], S[0]);
        break;
    case 16:
        for (int x = 0; x < W; ++x, S += 2)
            D[x] = M.Decode(Get16(S));
        break;
    case 32:
        if (M.Standard32) {
            const uint32_t opaque = M.UseAlpha ? 0 : 0xFF000000u;
            for (int x = 0; x < W; ++x, S += 4)
                D[x] = Get32(S) | opaque;
        } else {
            for (int x = 0; x < W; ++x, S += 4)
                D[x] = M.Decode(Get32(S));
        }
        break;
    }
}

// Decodes the uncompressed rows, each padded to 4 bytes, into a bitmap of the picture's size.
void DecodeRows(TStream& Stream, const THeader& H, const TPalette& Palette, TBitmap32& Bitmap,
                int64_t Stride) {
    const TPixelMasks masks(H);
    std::vector<unsigned char> row(static_cast<size_t>(Stride));
    for (int r = 0; r < H.Height; ++r) {
        ReadExactly(Stream, row.data(), row.size(), "the pixel data");
        DecodeRow(row.data(), Bitmap.ScanLine(H.TopDown ? r : H.Height - 1 - r), H.Width, H, Palette, masks);
    }
}

} // namespace

void ReadBmp(TBitmap32& Bitmap, TStream& Stream, int64_t MaxPixels) {
    const int64_t start = Stream.Position();
    THeader H = ReadHeaders(Stream);
    CheckFormat(Stream, H);
    const TPalette palette = ReadPalette(Stream, H);
    SeekToPixels(Stream, start, H);

    if (H.Width == 0 || H.Height == 0) {
        Bitmap.SetSize(0, 0);
        return;
    }
    MaxPixels = std::min(MaxPixels, MaxBitmapPixels);
    if (int64_t{H.Width} * H.Height > MaxPixels) RaisePictureTooLarge(H.Width, H.Height, MaxPixels);
    const int64_t stride = ((int64_t{H.Width} * H.BitCount + 31) / 32) * 4;
    if (!H.Rle()) {
        // Refuse a truncated file before allocating for it.
        const int64_t need = stride * H.Height;
        const int64_t available = Stream.Size() - Stream.Position();
        if (available < need) Damaged("the pixel data is truncated");
    }
    Bitmap.SetSize(H.Width, H.Height);

    if (H.Rle()) {
        Bitmap.Clear(palette[0]);
        TByteSource src(Stream, H.SizeImage != 0 ? int64_t{H.SizeImage} : INT64_MAX);
        DecodeRle(src, H, palette, Bitmap);
    } else {
        DecodeRows(Stream, H, palette, Bitmap, stride);
    }
}
