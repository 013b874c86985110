// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/JpegCodec.h"
#include "platform/rtl/Exception.h"

#include "FormatTestSupport.h"

namespace {
TBitmap32 ReadJpegBytes(const std::vector<unsigned char>& Bytes) {
    TMemoryStream s;
    s.WriteBuffer(Bytes.data(), Bytes.size());
    s.SetPosition(0);
    TBitmap32 b;
    ReadJpeg(b, s);
    return b;
}
} // namespace

TEST(JpegCodec, ReadsColourGreyCmykAndProgressiveFiles) {
    // The card's blue channel wraps around, which no JPEG keeps exactly: compare on average,
    // and check the size and opacity exactly.
    const auto opaque = [](int, int) { return 0xFF000000u; };
    for (const char* name : {"card.jpg", "progressive.jpg", "cmyk.jpg"}) {
        const TBitmap32 b = ReadJpegBytes(FileData(Fixture(name)));
        EXPECT_TRUE(PixelsMatch(b, opaque, 255)) << name;
        EXPECT_LT(MeanError(b, CardPixel), 4.0) << name;
        EXPECT_EQ(AlphaComponent(b.Pixel(5, 5)), 0xFF);
    }
    EXPECT_TRUE(PixelsMatch(ReadJpegBytes(FileData(Fixture("grey.jpg"))), GreyPixel, 3));
}

TEST(JpegCodec, WriteThenReadStaysCloseAndOpaque) {
    // A smooth picture, which JPEG keeps closely even with its colour subsampling.
    const auto smooth = [](int x, int y) {
        return Color32(static_cast<uint8_t>(8 * x), static_cast<uint8_t>(16 * y), 128);
    };
    TBitmap32 a(32, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            a.SetPixel(x, y, smooth(x, y) & 0x7FFFFFFF); // alpha is not stored
    TMemoryStream s;
    WriteJpeg(a, s, 100);
    const int64_t bestSize = s.Size();
    s.SetPosition(0);
    TBitmap32 b;
    ReadJpeg(b, s);
    EXPECT_LT(MeanError(b, smooth), 2.0);
    EXPECT_EQ(AlphaComponent(b.Pixel(3, 3)), 0xFF);

    TMemoryStream low;
    WriteJpeg(a, low, 10);
    EXPECT_LT(low.Size(), bestSize);
    // No resolution: the JFIF density unit is 0 (aspect ratio only).
    ASSERT_GT(low.Size(), 20);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(low.Memory()) + 6, 4), "JFIF");
    EXPECT_EQ(low.Memory()[13], 0);
}

TEST(JpegCodec, EmptyPictureIsNotWritten) {
    TBitmap32 empty;
    TMemoryStream s;
    EXPECT_THROW(WriteJpeg(empty, s, 90), Exception);
}

TEST(JpegCodec, DamagedAndTruncatedFilesRaise) {
    const std::vector<unsigned char> full = FileData(Fixture("card.jpg"));
    for (size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{20}, full.size() / 2, full.size() - 2}) {
        const std::vector<unsigned char> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        const std::string e = MessageOf([&] { ReadJpegBytes(cut); });
        EXPECT_TRUE(e.starts_with("Damaged JPEG file") || e.starts_with("Not a JPEG")) << n << ": " << e;
    }
    std::vector<unsigned char> garbage = full;
    for (size_t i = 2; i < garbage.size(); i += 3)
        garbage[i] ^= 0x5A;
    EXPECT_THROW(ReadJpegBytes(garbage), Exception);
}

TEST(JpegCodec, HugePictureIsRefusedBeforeDecoding) {
    std::vector<unsigned char> bytes = FileData(Fixture("card.jpg"));
    // Patch the frame header (SOF0: FF C0, length, precision, height, width) to 60000 x 60000.
    for (size_t i = 0; i + 9 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 5] = 0xEA;
            bytes[i + 6] = 0x60;
            bytes[i + 7] = 0xEA;
            bytes[i + 8] = 0x60;
            break;
        }
    }
    EXPECT_NE(MessageOf([&] { ReadJpegBytes(bytes); }).find("too large"), std::string::npos);
}

TEST(Jpeg, SavesAndLoadsThroughStreamsAtTheirPositions) {
    TBitmap32 source(32, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            source.SetPixel(x, y, x < 16 ? Color32(200, 40, 40) : Color32(30, 60, 220));
    TMemoryStream s;
    s.WriteValue<uint32_t>(0xDEADBEEF); // a style file's fields come before its preview
    SaveJpegImage(source, s, 95);
    EXPECT_GT(s.Size(), 4);
    s.SetPosition(4);
    TBitmap32 back;
    LoadJpegImage(back, s, 32, 16);
    ASSERT_EQ(back.Width(), 32);
    ASSERT_EQ(back.Height(), 16);
    for (const TPoint p : {TPoint{4, 8}, TPoint{28, 8}}) {
        const TColor32 a = source.Pixel(p.X, p.Y), b = back.Pixel(p.X, p.Y);
        EXPECT_EQ(AlphaComponent(b), 0xFF);
        EXPECT_NEAR(RedComponent(a), RedComponent(b), 6);
        EXPECT_NEAR(GreenComponent(a), GreenComponent(b), 6);
        EXPECT_NEAR(BlueComponent(a), BlueComponent(b), 6);
    }

    // Quality matters, and a damaged picture leaves the bitmap alone.
    TMemoryStream low;
    SaveJpegImage(source, low, 5);
    EXPECT_LT(low.Size(), s.Size() - 4);
    TMemoryStream bad;
    bad.WriteValue<uint32_t>(0x12345678);
    bad.SetPosition(0);
    EXPECT_THROW(LoadJpegImage(back, bad, 32, 16), Exception);
    // A picture larger than asked for is refused before it is decoded.
    s.SetPosition(4);
    EXPECT_THROW(LoadJpegImage(back, s, 32, 15), Exception);
    EXPECT_EQ(back.Width(), 32);
}
