// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/raster/BmpCodec.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include "tests/support/TempDir.h"
#include "tests/support/WriteFaults.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// A BMP file put together field by field: a 40-byte header (or another size), optional masks
// and palette, then the data as given.
struct TBmpSpec {
    int32_t Width = 1;
    int32_t Height = 1;
    uint16_t Bits = 24;
    uint32_t Compression = 0;
    std::vector<uint32_t> Masks;   // after a 40-byte header, or inside a larger one
    std::vector<TColor32> Palette; // written as B, G, R, 0
    Bytes Data;
    uint32_t HeaderSize = 40;
    uint32_t SizeImage = 0;
    int64_t OffBits = -1; // -1: right after the palette
};

Bytes MakeBmp(const TBmpSpec& S) {
    Bytes head;
    Put32(head, S.HeaderSize);
    Put32(head, static_cast<uint32_t>(S.Width));
    Put32(head, static_cast<uint32_t>(S.Height));
    Put16(head, 1);
    Put16(head, S.Bits);
    Put32(head, S.Compression);
    Put32(head, S.SizeImage);
    Put32(head, 2835);
    Put32(head, 2835);
    Put32(head, static_cast<uint32_t>(S.Palette.size()));
    Put32(head, 0);
    Bytes masks;
    for (uint32_t m : S.Masks)
        Put32(S.HeaderSize > 40 ? head : masks, m);
    head.resize(S.HeaderSize, 0);
    Bytes pal;
    for (TColor32 c : S.Palette)
        Put32(pal, c & 0x00FFFFFF);
    const uint32_t off = S.OffBits >= 0 ? static_cast<uint32_t>(S.OffBits)
                                        : static_cast<uint32_t>(14 + head.size() + masks.size() + pal.size());
    Bytes file{'B', 'M'};
    Put32(file, static_cast<uint32_t>(off + S.Data.size()));
    Put32(file, 0);
    Put32(file, off);
    file.insert(file.end(), head.begin(), head.end());
    file.insert(file.end(), masks.begin(), masks.end());
    file.insert(file.end(), pal.begin(), pal.end());
    file.resize(std::max<size_t>(file.size(), off), 0);
    file.insert(file.end(), S.Data.begin(), S.Data.end());
    return file;
}

TBitmap32 Read(const Bytes& File) {
    TMemoryStream s;
    s.WriteBuffer(File.data(), File.size());
    s.SetPosition(0);
    TBitmap32 b;
    ReadBmp(b, s);
    return b;
}

std::string ReadError(const Bytes& File) {
    try {
        Read(File);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

// Compares a picture with rows of expected colours, top row first.
void ExpectPixels(const TBitmap32& B, const std::vector<std::vector<TColor32>>& Rows) {
    ASSERT_EQ(B.Height(), static_cast<int>(Rows.size()));
    for (int y = 0; y < B.Height(); ++y) {
        ASSERT_EQ(B.Width(), static_cast<int>(Rows[y].size()));
        for (int x = 0; x < B.Width(); ++x)
            EXPECT_EQ(B.Pixel(x, y), Rows[y][x]) << "at " << x << ", " << y;
    }
}

constexpr TColor32 K = 0xFF000000, W = 0xFFFFFFFF, R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF;

} // namespace

TEST(BmpCodec, ThirtyTwoBitRoundTripKeepsEveryBitIncludingAlpha) {
    std::mt19937 rng(7);
    for (auto [w, h] : {std::pair{1, 1}, std::pair{3, 5}, std::pair{64, 17}}) {
        TBitmap32 a(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                a.SetPixel(x, y, static_cast<TColor32>(rng()));
        TMemoryStream s;
        WriteBmp(a, s);
        EXPECT_EQ(s.Size(), 14 + 124 + int64_t{w} * h * 4);
        s.WriteValue<uint32_t>(0xDEADBEEF); // whatever follows the picture stays unread
        s.SetPosition(0);
        TBitmap32 b;
        ReadBmp(b, s);
        EXPECT_EQ(s.Position(), 14 + 124 + int64_t{w} * h * 4);
        ASSERT_EQ(b.Width(), w);
        ASSERT_EQ(b.Height(), h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(b.Pixel(x, y), a.Pixel(x, y));
    }
}

TEST(BmpCodec, EmptyBitmapRoundTrips) {
    TBitmap32 a;
    TMemoryStream s;
    WriteBmp(a, s);
    s.SetPosition(0);
    TBitmap32 b(2, 2);
    ReadBmp(b, s);
    EXPECT_TRUE(b.Empty());
}

TEST(BmpCodec, SaveToFileAndLoadFromFileRoundTrip) {
    const auto path = std::filesystem::temp_directory_path() / "quor-bmp-roundtrip.bmp";
    TBitmap32 a(2, 2);
    a.SetPixel(0, 0, 0x12345678);
    a.SetPixel(1, 1, 0x00ABCDEF);
    a.SaveToFile(path.string());
    TBitmap32 b;
    TFileStream f(path.string(), TFileMode::fmOpenRead);
    ReadBmp(b, f);
    EXPECT_EQ(b.Pixel(0, 0), 0x12345678u);
    EXPECT_EQ(b.Pixel(1, 1), 0x00ABCDEFu);
    std::filesystem::remove(path);
}

TEST(BmpCodec, AFailedSaveToFileKeepsTheOldFileWhole) {
    TTestFolder dir;
    const std::string path = dir / "drawing.bmp";
    TBitmap32(3, 2).SaveToFile(path);
    TBitmap32 bigger(40, 30);
    ExpectFailedSavesKeepTarget(path, [&] { bigger.SaveToFile(path); });
}

TEST(BmpCodec, PaletteDepthsBottomUpAndTopDown) {
    // 1 bit: 10 pixels wide (two bytes, padded to four), two rows stored bottom row first.
    TBmpSpec one;
    one.Width = 10;
    one.Height = 2;
    one.Bits = 1;
    one.Palette = {K, W};
    one.Data = {0b10100000, 0b01000000, 0, 0, 0b11111111, 0b11000000, 0, 0};
    ExpectPixels(Read(MakeBmp(one)), {{W, W, W, W, W, W, W, W, W, W}, {W, K, W, K, K, K, K, K, K, W}});

    TBmpSpec four;
    four.Width = 3;
    four.Height = -2; // top row first
    four.Bits = 4;
    four.Palette = {K, R, G, B};
    four.Data = {0x12, 0x30, 0, 0, 0x01, 0x00, 0, 0};
    ExpectPixels(Read(MakeBmp(four)), {{R, G, B}, {K, R, K}});

    TBmpSpec eight;
    eight.Width = 2;
    eight.Height = 1;
    eight.Bits = 8;
    eight.Palette = {K, W, R};
    eight.Data = {2, 1, 0, 0};
    ExpectPixels(Read(MakeBmp(eight)), {{R, W}});

    // An index beyond the stored palette reads as black rather than outside the table.
    eight.Data = {200, 1, 0, 0};
    ExpectPixels(Read(MakeBmp(eight)), {{K, W}});
}

TEST(BmpCodec, DirectColourDepthsAndBitFields) {
    TBmpSpec rgb24;
    rgb24.Width = 2;
    rgb24.Height = 2;
    rgb24.Data = {0x30, 0x20, 0x10, 0x60, 0x50, 0x40, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0};
    ExpectPixels(Read(MakeBmp(rgb24)), {{0xFF030201, 0xFF060504}, {0xFF102030, 0xFF405060}});

    // 16 bits without masks: 5-5-5.
    TBmpSpec rgb555;
    rgb555.Width = 2;
    rgb555.Bits = 16;
    rgb555.Data = {0x00, 0x7C, 0x1F, 0x00};
    ExpectPixels(Read(MakeBmp(rgb555)), {{R, B}});

    // 16 bits with 5-6-5 masks: green gets six bits.
    TBmpSpec rgb565 = rgb555;
    rgb565.Compression = 3;
    rgb565.Masks = {0xF800, 0x07E0, 0x001F};
    rgb565.Data = {0xE0, 0x07, 0x20, 0x00};
    ExpectPixels(Read(MakeBmp(rgb565)), {{G, 0xFF000400}});

    // A mask beyond the pixel's 16 bits selects nothing.
    rgb565.Masks = {0x00FF0000, 0x07E0, 0x001F};
    ExpectPixels(Read(MakeBmp(rgb565)), {{G, 0xFF000400}});

    // 32 bits without masks: the fourth byte is not alpha.
    TBmpSpec bgrx;
    bgrx.Width = 1;
    bgrx.Bits = 32;
    bgrx.Data = {0x30, 0x20, 0x10, 0x00};
    ExpectPixels(Read(MakeBmp(bgrx)), {{0xFF102030}});

    // 32 bits with an alpha mask in a V4 header, in an unusual channel order.
    TBmpSpec rgba;
    rgba.Width = 1;
    rgba.Bits = 32;
    rgba.Compression = 3;
    rgba.HeaderSize = 108;
    rgba.Masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
    rgba.Data = {0x10, 0x20, 0x30, 0x40};
    ExpectPixels(Read(MakeBmp(rgba)), {{0x40102030}});

    // The same masks after a 40-byte header with the alpha variant of bit fields.
    rgba.HeaderSize = 40;
    rgba.Compression = 6;
    ExpectPixels(Read(MakeBmp(rgba)), {{0x40102030}});
}

TEST(BmpCodec, Os2CoreHeader) {
    Bytes f{'B', 'M'};
    Put32(f, 0);
    Put32(f, 0);
    Put32(f, 14 + 12 + 6);
    Put32(f, 12);
    Put16(f, 2);
    Put16(f, 1);
    Put16(f, 1);
    Put16(f, 8);
    f.insert(f.end(), {0, 0, 0xFF, 0xFF, 0, 0}); // red, blue as B, G, R triples
    f.insert(f.end(), {1, 0, 0, 0});
    ExpectPixels(Read(f), {{B, R}});
}

TEST(BmpCodec, Rle8WithRunsLiteralsDeltaAndEndMarkers) {
    TBmpSpec s;
    s.Width = 4;
    s.Height = 3;
    s.Bits = 8;
    s.Compression = 1;
    s.Palette = {K, W, R, G};
    s.Data = {
        3, 2, 0, 0,       // bottom row: three red, end of line
        0, 3, 1, 3, 3, 0, // middle row: a literal run of three, padded to an even length,
        1, 1, 0, 0,       // then one white and the end of the line
        0, 2, 1, 0,       // top row: move right by one
        2, 1, 0, 1,       // two white, then the end of the picture; the rest keeps index 0
    };
    s.SizeImage = static_cast<uint32_t>(s.Data.size());
    ExpectPixels(Read(MakeBmp(s)), {{K, W, W, K}, {W, G, G, W}, {R, R, R, K}});
}

TEST(BmpCodec, Rle8RunToTheEndOfTheDataWithoutAnEndMarker) {
    TBmpSpec s;
    s.Width = 2;
    s.Height = 2;
    s.Bits = 8;
    s.Compression = 1;
    s.Palette = {K, W};
    s.Data = {2, 1, 0, 0, 1, 1, 0, 0};
    s.SizeImage = static_cast<uint32_t>(s.Data.size());
    ExpectPixels(Read(MakeBmp(s)), {{W, K}, {W, W}});
    // Without the last end of line the top row was never finished: the data is truncated.
    s.Data.resize(6);
    s.SizeImage = 6;
    EXPECT_NE(ReadError(MakeBmp(s)).find("truncated"), std::string::npos);
}

TEST(BmpCodec, Rle4Nibbles) {
    TBmpSpec s;
    s.Width = 7;
    s.Height = 1;
    s.Bits = 4;
    s.Compression = 2;
    s.Palette = {K, W, R, G};
    // A run of 1 2 1, a literal 3 0 1, a literal 2 3 2 whose last pixel falls outside the row,
    // the end of the line and of the picture.
    s.Data = {3, 0x12, 0, 3, 0x30, 0x10, 0, 3, 0x23, 0x20, 0, 0, 0, 1};
    ExpectPixels(Read(MakeBmp(s)), {{W, R, W, G, K, W, R}});
}

TEST(BmpCodec, RleStopsExactlyAtItsEndWhenTheSizeIsNotGiven) {
    TBmpSpec s;
    s.Width = 2;
    s.Height = 1;
    s.Bits = 8;
    s.Compression = 1;
    s.Palette = {K, W};
    s.Data = {2, 1, 0, 1, 0xAA, 0xBB, 0xCC};
    const Bytes file = MakeBmp(s);
    TMemoryStream m;
    m.WriteBuffer(file.data(), file.size());
    m.SetPosition(0);
    TBitmap32 b;
    ReadBmp(b, m);
    EXPECT_EQ(m.Position(), static_cast<int64_t>(file.size()) - 3);
}

TEST(BmpCodec, EveryTruncationRaisesAnException) {
    TBmpSpec plain;
    plain.Width = 3;
    plain.Height = 2;
    plain.Data.assign(24, 0x55);
    TBmpSpec rle;
    rle.Width = 3;
    rle.Height = 2;
    rle.Bits = 8;
    rle.Compression = 1;
    rle.Palette = {K, W};
    rle.Data = {3, 1, 0, 0, 0, 3, 0, 1, 0, 0, 0, 1};
    TBmpSpec paletted;
    paletted.Width = 2;
    paletted.Height = 2;
    paletted.Bits = 4;
    paletted.Palette = {K, W, R};
    paletted.Data.assign(8, 0x12);
    for (const TBmpSpec& spec : {plain, rle, paletted}) {
        const Bytes full = MakeBmp(spec);
        EXPECT_NO_THROW(Read(full));
        for (size_t n = 0; n < full.size(); ++n) {
            const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_THROW(Read(cut), Exception) << "length " << n;
        }
    }
}

TEST(BmpCodec, HostileHeadersAreRefusedWithClearMessages) {
    // One pixel more than the largest picture held (17 x 15790321 = 2^28 + 1), and exactly that
    // picture, whose file holds none of the data: both refused before allocating.
    TBmpSpec huge;
    huge.Width = 17;
    huge.Height = 15790321;
    EXPECT_EQ(ReadError(MakeBmp(huge)),
              "The picture is too large (17 x 15790321 pixels); at most 256 megapixels can be held");
    TBmpSpec big;
    big.Width = 16384;
    big.Height = 16384;
    EXPECT_NE(ReadError(MakeBmp(big)).find("truncated"), std::string::npos);

    TBmpSpec negative;
    negative.Width = -5;
    EXPECT_NE(ReadError(MakeBmp(negative)).find("Damaged BMP"), std::string::npos);

    TBmpSpec minHeight;
    minHeight.Height = INT32_MIN;
    EXPECT_NE(ReadError(MakeBmp(minHeight)).find("Damaged BMP"), std::string::npos);

    TBmpSpec header;
    header.HeaderSize = 41;
    EXPECT_NE(ReadError(MakeBmp(header)).find("header size"), std::string::npos);

    TBmpSpec bits;
    bits.Bits = 7;
    EXPECT_NE(ReadError(MakeBmp(bits)).find("7 bits"), std::string::npos);

    TBmpSpec topDownRle;
    topDownRle.Height = -1;
    topDownRle.Bits = 8;
    topDownRle.Compression = 1;
    topDownRle.Data = {0, 1};
    EXPECT_NE(ReadError(MakeBmp(topDownRle)).find("top row first"), std::string::npos);

    TBmpSpec rleMismatch;
    rleMismatch.Compression = 2; // RLE4 with 24 bits
    EXPECT_NE(ReadError(MakeBmp(rleMismatch)).find("RLE4"), std::string::npos);

    TBmpSpec offset;
    offset.OffBits = 20;
    offset.Data.assign(4, 0);
    EXPECT_NE(ReadError(MakeBmp(offset)).find("offset"), std::string::npos);

    EXPECT_NE(ReadError({'P', 'K', 3, 4}).find("Not a BMP"), std::string::npos);

    // A run of an RLE picture may not run past the last row.
    TBmpSpec overrun;
    overrun.Width = 1;
    overrun.Bits = 8;
    overrun.Compression = 1;
    overrun.Palette = {K};
    overrun.Data = {0, 0, 5, 0, 0, 1};
    EXPECT_NE(ReadError(MakeBmp(overrun)).find("past the last row"), std::string::npos);
}

TEST(BmpCodec, ReadsTheSamplePicture) {
    TFileStream f(QUOR_SOURCE_DIR "/resources/sample256.bmp", TFileMode::fmOpenRead);
    TBitmap32 b;
    ReadBmp(b, f);
    EXPECT_EQ(b.Width(), 256);
    EXPECT_EQ(b.Height(), 256);
    for (int y = 0; y < 256; y += 15)
        for (int x = 0; x < 256; x += 15)
            ASSERT_EQ(AlphaComponent(b.Pixel(x, y)), 0xFF);
}
