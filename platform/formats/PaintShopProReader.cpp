// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/PaintShopProReader.h"

#include "platform/formats/JpegCodec.h"
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <zlib.h>

// A file is a 32-byte signature, the version (major, minor: 16 bits each) and a sequence of
// blocks. A block is "~BK" and a zero byte, a 16-bit identifier and its length (before
// version 4 an "initial length" comes first); blocks nest. From version 4 on, the data of a
// block begins with a chunk whose first 32 bits give its own length, so that later versions
// can add fields. All numbers are little-endian.
//
// The composite image bank (block 16) holds, for each of its pictures, an attributes block
// (17: width, height, bit depth, compression, planes, colours, and the kind: 0 the composite,
// 1 a thumbnail) and a picture block in the same order: a composite image block (9) of channel
// blocks (5), with a palette block (2) for palette pictures, or a JPEG block (18).

namespace {

const char* const Name = "Paint Shop Pro";

enum : uint16_t {
    ColorBlock = 2,
    ChannelBlock = 5,
    CompositeImageBlock = 9,
    CompositeBankBlock = 16,
    CompositeAttributesBlock = 17,
    JpegBlock = 18,
};

enum : uint16_t { CompressNone = 0, CompressRle = 1, CompressLz77 = 2, CompressJpeg = 3 };

[[noreturn]] void Damaged(const std::string& Why) {
    RaiseDamaged(Name, Why);
}

// A bounded view of the file's bytes.
struct TSpan {
    const unsigned char* Begin = nullptr;
    size_t Size = 0;

    TSpan Sub(size_t Offset, size_t Count) const {
        if (Offset > Size || Count > Size - Offset) Damaged("a block runs past its end");
        return TSpan{Begin + Offset, Count};
    }
    uint16_t U16(size_t Offset) const {
        if (Offset > Size || Size - Offset < 2) Damaged("a block is too short");
        return TStream::FromLittleEndian<uint16_t>(Begin + Offset);
    }
    uint32_t U32(size_t Offset) const {
        if (Offset > Size || Size - Offset < 4) Damaged("a block is too short");
        return TStream::FromLittleEndian<uint32_t>(Begin + Offset);
    }
    int32_t S32(size_t Offset) const { return static_cast<int32_t>(U32(Offset)); }
};

struct TBlock {
    uint16_t Id;
    TSpan Data;
};

// The blocks that follow one another in Span.
std::vector<TBlock> Blocks(TSpan Span, int Major) {
    std::vector<TBlock> blocks;
    const size_t headerSize = Major <= 3 ? 14 : 10;
    size_t pos = 0;
    while (pos < Span.Size) {
        const TSpan head = Span.Sub(pos, std::min(headerSize, Span.Size - pos));
        if (head.Size < headerSize) Damaged("the file ends inside a block header");
        if (std::memcmp(head.Begin, "~BK\0", 4) != 0) Damaged("a block header is missing");
        const uint16_t id = head.U16(4);
        const uint32_t length = head.U32(headerSize - 4);
        blocks.push_back(TBlock{id, Span.Sub(pos + headerSize, length)});
        pos += headerSize + length;
    }
    return blocks;
}

// From version 4 on, the fixed fields of a block are a chunk that starts with its own length;
// what follows it (the sub-blocks, the data) starts after that length.
size_t ChunkEnd(const TSpan& Data, int Major, size_t OldFixedSize) {
    if (Major <= 3) return OldFixedSize;
    const uint32_t size = Data.U32(0);
    if (size < 4 || size > Data.Size) Damaged("a chunk length is out of range");
    return size;
}

struct TAttributes {
    int32_t Width;
    int32_t Height;
    uint16_t BitDepth;
    uint16_t Compression;
    uint16_t Kind; // 0 the composite, 1 a thumbnail
};

TAttributes ReadAttributes(const TSpan& Data) {
    return TAttributes{Data.S32(4), Data.S32(8), Data.U16(12), Data.U16(14), Data.U16(22)};
}

// PSP run-length coding: a count above 128 repeats the next byte count - 128 times; any other
// count copies that many bytes.
void Unrle(const TSpan& In, std::vector<unsigned char>& Out) {
    size_t i = 0, o = 0;
    while (i < In.Size && o < Out.size()) {
        const unsigned n = In.Begin[i++];
        if (n > 128) {
            if (i >= In.Size) Damaged("the run-length data is truncated");
            const size_t count = std::min<size_t>(n - 128, Out.size() - o);
            std::memset(Out.data() + o, In.Begin[i++], count);
            o += count;
        } else {
            if (n > In.Size - i) Damaged("the run-length data is truncated");
            const size_t count = std::min<size_t>(n, Out.size() - o);
            std::memcpy(Out.data() + o, In.Begin + i, count);
            i += n;
            o += count;
        }
    }
    if (o < Out.size()) Damaged("the run-length data is truncated");
}

// The bytes of one channel, its rows one after another with the padding the file has.
std::vector<unsigned char> ChannelBytes(const TSpan& Packed, uint16_t Compression, size_t Size) {
    std::vector<unsigned char> out(Size);
    switch (Compression) {
    case CompressNone:
        if (Packed.Size < Size) Damaged("the channel data is truncated");
        std::memcpy(out.data(), Packed.Begin, Size);
        break;
    case CompressRle:
        Unrle(Packed, out);
        break;
    case CompressLz77: {
        uLongf length = static_cast<uLongf>(Size);
        const int result = uncompress(out.data(), &length, Packed.Begin, static_cast<uLong>(Packed.Size));
        // A stream that fills the buffer exactly may report that it wanted more room; anything
        // short of the channel's size is damage.
        if ((result != Z_OK && result != Z_BUF_ERROR) || length < Size) Damaged("the LZ77 data is damaged");
        break;
    }
    default:
        RaiseException("Unsupported Paint Shop Pro file: channel compression " + std::to_string(Compression));
    }
    return out;
}

void ReadComposite(const TSpan& Data, int Major, const TAttributes& A, TBitmap32& Dest) {
    const int depth = A.BitDepth;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24)
        RaiseException("Unsupported Paint Shop Pro file: " + std::to_string(depth) + " bits per pixel");
    CheckPictureSize(A.Width, A.Height, Name);
    const size_t w = static_cast<size_t>(A.Width);
    const size_t h = static_cast<size_t>(A.Height);
    const int channelBits = depth == 24 ? 8 : depth;
    const size_t stride = (w * static_cast<size_t>(channelBits) + 7) / 8;
    const size_t padded = (stride + 3) / 4 * 4;

    std::array<TColor32, 256> palette;
    for (int i = 0; i < 256; ++i) {
        // Without a palette, the single channel is grey (1 and 4 bits spread over 0..255).
        const int levels = (1 << std::min(channelBits, 8)) - 1;
        const auto g = static_cast<uint8_t>(std::min(i, levels) * 255 / levels);
        palette[static_cast<size_t>(i)] = Color32(g, g, g);
    }
    std::array<std::optional<std::vector<unsigned char>>, 4> channels; // composite, red, green, blue
    std::array<size_t, 4> rowBytes{};
    const size_t first = ChunkEnd(Data, Major, 4);
    for (const TBlock& b : Blocks(Data.Sub(first, Data.Size - first), Major)) {
        if (b.Id == ColorBlock) {
            const size_t start = ChunkEnd(b.Data, Major, 4);
            const uint32_t count = b.Data.U32(Major <= 3 ? 0 : 4);
            const TSpan entries = b.Data.Sub(start, std::min<size_t>(count, 256) * 4);
            for (size_t i = 0; i < entries.Size / 4; ++i)
                palette[i] =
                    Color32(entries.Begin[4 * i + 2], entries.Begin[4 * i + 1], entries.Begin[4 * i]);
        } else if (b.Id == ChannelBlock) {
            const size_t start = ChunkEnd(b.Data, Major, 12);
            const size_t base = Major <= 3 ? 0 : 4;
            const uint32_t packedLength = b.Data.U32(base);
            const uint32_t length = b.Data.U32(base + 4);
            const uint16_t bitmapType = b.Data.U16(base + 8);
            const uint16_t channelType = b.Data.U16(base + 10);
            if (bitmapType != 0 || channelType > 3) continue; // masks and the like
            // The rows are padded to four bytes in some files and not in others; the length says.
            const size_t row = length >= padded * h ? padded : stride;
            if (length < row * h) Damaged("a channel is smaller than the picture");
            channels[channelType] = ChannelBytes(b.Data.Sub(start, packedLength), A.Compression, row * h);
            rowBytes[channelType] = row;
        }
    }

    Dest.SetSize(A.Width, A.Height);
    if (depth == 24) {
        if (!channels[1] || !channels[2] || !channels[3]) Damaged("a colour channel is missing");
        for (size_t y = 0; y < h; ++y) {
            const unsigned char* r = channels[1]->data() + y * rowBytes[1];
            const unsigned char* g = channels[2]->data() + y * rowBytes[2];
            const unsigned char* bl = channels[3]->data() + y * rowBytes[3];
            TColor32* d = Dest.ScanLine(static_cast<int>(y));
            for (size_t x = 0; x < w; ++x)
                d[x] = Color32(r[x], g[x], bl[x]);
        }
        return;
    }
    if (!channels[0]) Damaged("the picture channel is missing");
    for (size_t y = 0; y < h; ++y) {
        const unsigned char* s = channels[0]->data() + y * rowBytes[0];
        TColor32* d = Dest.ScanLine(static_cast<int>(y));
        for (size_t x = 0; x < w; ++x) {
            unsigned index = 0;
            if (channelBits == 8)
                index = s[x];
            else if (channelBits == 4)
                index = (x & 1) ? (s[x / 2] & 0x0F) : (s[x / 2] >> 4);
            else
                index = (s[x / 8] >> (7 - (x & 7))) & 1;
            d[x] = palette[index];
        }
    }
}

void ReadJpegComposite(const TSpan& Data, int Major, TBitmap32& Dest) {
    const size_t start = ChunkEnd(Data, Major, 10);
    const uint32_t length = Data.U32(Major <= 3 ? 0 : 4);
    const TSpan jpeg = Data.Sub(start, length);
    TMemoryStream stream;
    stream.WriteBuffer(jpeg.Begin, jpeg.Size);
    stream.SetPosition(0);
    ReadJpeg(Dest, stream);
}

} // namespace

void ReadPaintShopPro(TBitmap32& Dest, TStream& Stream) {
    const std::vector<unsigned char> bytes = ReadToEnd(Stream);
    static const char signature[] = "Paint Shop Pro Image File\n\x1a";
    const size_t signatureLength = sizeof signature - 1;
    if (bytes.size() < signatureLength || std::memcmp(bytes.data(), signature, signatureLength) != 0)
        RaiseException("Not a Paint Shop Pro file: the signature is missing");
    if (bytes.size() < 36) Damaged("the file ends inside the header");
    const TSpan file{bytes.data(), bytes.size()};
    const int major = file.U16(32);

    for (const TBlock& bank : Blocks(file.Sub(36, file.Size - 36), major)) {
        if (bank.Id != CompositeBankBlock) continue;
        const size_t start = ChunkEnd(bank.Data, major, 4);
        std::vector<TAttributes> attributes;
        std::vector<TBlock> pictures;
        for (const TBlock& b : Blocks(bank.Data.Sub(start, bank.Data.Size - start), major)) {
            if (b.Id == CompositeAttributesBlock)
                attributes.push_back(ReadAttributes(b.Data));
            else if (b.Id == CompositeImageBlock || b.Id == JpegBlock)
                pictures.push_back(b);
        }
        for (size_t i = 0; i < attributes.size() && i < pictures.size(); ++i) {
            if (attributes[i].Kind != 0) continue;
            if (pictures[i].Id == JpegBlock)
                ReadJpegComposite(pictures[i].Data, major, Dest);
            else
                ReadComposite(pictures[i].Data, major, attributes[i], Dest);
            return;
        }
    }
    RaiseException("This Paint Shop Pro file holds no composite image (files of Paint Shop Pro 5 and older "
                   "have none)");
}
