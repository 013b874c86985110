// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/PictureFormats.h"
#include "platform/raster/BmpCodec.h"
#include "platform/rtl/Exception.h"

#include "FormatTestSupport.h"

#include <Magick++.h>
#include <zlib.h>

#include <filesystem>

namespace {

class Readers : public ::testing::Test {
protected:
    void SetUp() override { RegisterPictureFormats(); }

    static TBitmap32 Load(const std::string& Name) {
        TBitmap32 b;
        LoadPictureFile(b, Fixture(Name));
        return b;
    }
    // The bytes of a fixture, read under the given extension.
    static std::string LoadBytesError(const std::vector<unsigned char>& Bytes, const std::string& Extension) {
        return MessageOf([&] {
            TMemoryStream s;
            if (!Bytes.empty()) s.WriteBuffer(Bytes.data(), Bytes.size());
            s.SetPosition(0);
            TBitmap32 b;
            LoadPicture(b, s, Extension);
        });
    }
};

const auto Opaque = [](int, int) { return 0xFF000000u; };

void WritePhotoCdForTest(const TBitmap32& Picture, const std::string& Path) {
    Magick::Image image(static_cast<size_t>(Picture.Width()), static_cast<size_t>(Picture.Height()), "BGRA",
                        MagickCore::CharPixel, Picture.Bits());
    image.magick("PCD");
    image.write(Path);
}

} // namespace

TEST_F(Readers, TiffOfEveryCompressionAndLayout) {
    for (const char* name :
         {"card-none.tif", "card-lzw.tif", "card-zip.tif", "card-rle.tif", "card-lzw-predictor.tif",
          "card-planar.tif", "card-tiled.tif", "card-16bit.tif", "card-palette.tif"})
        EXPECT_TRUE(PixelsMatch(Load(name), CardPixel)) << name;
    // Rows stored top row first but tagged as starting at the bottom left: shown upside down.
    EXPECT_TRUE(PixelsMatch(Load("card-bottomleft.tif"), [](int x, int y) { return CardPixel(x, 7 - y); }));
    EXPECT_TRUE(PixelsMatch(Load("grey.tif"), GreyPixel)) << "grey";
    const TBitmap32 jpeg = Load("card-jpeg.tif");
    EXPECT_TRUE(PixelsMatch(jpeg, Opaque, 255));
    EXPECT_LT(MeanError(jpeg, CardPixel), 4.0);
}

TEST_F(Readers, PngOfEveryColourTypeAndDepth) {
    for (const char* name : {"card.png", "card-palette.png", "card-16bit.png", "card-interlaced.png"})
        EXPECT_TRUE(PixelsMatch(Load(name), CardPixel)) << name;
    EXPECT_TRUE(PixelsMatch(Load("grey.png"), GreyPixel));
}

TEST_F(Readers, FormatsReadThroughImageMagick) {
    for (const char* name :
         {"card.psd", "card.tga", "card-rle.tga", "card.pcx", "card.sgi", "card.ppm", "card.ico"})
        EXPECT_TRUE(PixelsMatch(Load(name), CardPixel)) << name;
    EXPECT_TRUE(PixelsMatch(Load("grey.pgm"), GreyPixel));
    EXPECT_TRUE(PixelsMatch(Load("grey.cut"), GreyPixel));
    EXPECT_TRUE(
        PixelsMatch(Load("checker.pbm"), [](int x, int y) { return (x + y) % 2 ? clBlack32 : clWhite32; }));
    // The metafile is drawn: red on the left half, blue on the right, away from the edges.
    const TBitmap32 wmf = Load("halves.wmf");
    ASSERT_EQ(wmf.Width(), 16);
    ASSERT_EQ(wmf.Height(), 8);
    EXPECT_EQ(wmf.Pixel(4, 4), clRed32);
    EXPECT_EQ(wmf.Pixel(12, 4), clBlue32);
}

TEST_F(Readers, PhotoCdMadeByImageMagick) {
    // Photo CD files are 768 x 512 at the least and too big to keep among the fixtures: one is
    // written here from the test card with ImageMagick.
    const std::string path = (std::filesystem::temp_directory_path() / "quor-formats-card.pcd").string();
    {
        TBitmap32 card(16, 8);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x)
                card.SetPixel(x, y, CardPixel(x, y));
        WritePhotoCdForTest(card, path);
    }
    TBitmap32 b;
    LoadPictureFile(b, path);
    EXPECT_EQ(b.Width(), 768);
    EXPECT_EQ(b.Height(), 512);
    EXPECT_TRUE(PixelsMatch(b, Opaque, 255, 768, 512));
    std::filesystem::remove(path);
}

TEST_F(Readers, OurOwnReaders) {
    EXPECT_TRUE(PixelsMatch(Load("card.cel"), [](int x, int y) {
        // Six bits a channel, widened again as 6-bit v becomes v << 2 | v >> 4.
        const TColor32 c = CardPixel(x, y);
        auto six = [](uint8_t v) { return static_cast<uint8_t>(((v >> 2) << 2) | (v >> 6)); };
        return Color32(six(RedComponent(c)), six(GreenComponent(c)), six(BlueComponent(c)));
    }));
    for (const char* name : {"card-raw.psp", "card-rle.psp", "card-lz77.psp"})
        EXPECT_TRUE(PixelsMatch(Load(name), CardPixel)) << name;
    EXPECT_TRUE(PixelsMatch(Load("card.rla"), CardPixel));
    // The preview of the EPS file is an LZW-compressed TIFF.
    EXPECT_TRUE(PixelsMatch(Load("card.eps"), CardPixel));
}

TEST_F(Readers, AnimatorProCelsAreToldApart) {
    // A FLIC header: size, the Animator Pro magic $AF12, one frame of 160 x 100 at 8 bits.
    const std::vector<unsigned char> flic = {144, 0, 0, 0, 0x12, 0xAF, 1, 0, 160, 0, 100, 0, 8, 0, 0, 0};
    EXPECT_EQ(LoadBytesError(flic, "cel"),
              "Unsupported Autodesk cel file: the cels of Animator Pro, which are FLIC "
              "animations, are not read");
}

TEST_F(Readers, TruncatedFilesOfOurOwnReadersRaise) {
    for (const auto& [name, extension] :
         {std::pair{"card.cel", "cel"}, std::pair{"card.rla", "rla"}, std::pair{"card-rle.psp", "psp"},
          std::pair{"card-lz77.psp", "psp"}, std::pair{"card.eps", "eps"}}) {
        const std::vector<unsigned char> full = FileData(Fixture(name));
        for (size_t n = 0; n < full.size(); n += (n < 64 ? 1 : 7)) {
            const std::vector<unsigned char> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_FALSE(LoadBytesError(cut, extension).empty()) << name << " cut to " << n;
        }
    }
}

TEST_F(Readers, DamagedFilesSayWhichFormat) {
    const std::vector<unsigned char> junk(200, 0x41);
    for (const char* e :
         {"tif", "png", "jpg", "bmp", "psp", "cel", "rla", "eps", "psd", "pcx", "sgi", "ico"}) {
        const std::string m = LoadBytesError(junk, e);
        EXPECT_TRUE(m.starts_with("Not a") || m.starts_with("Damaged")) << e << ": " << m;
    }
    std::vector<unsigned char> tiff = FileData(Fixture("card-lzw.tif"));
    tiff.resize(100); // inside the picture data, before the directory
    EXPECT_TRUE(LoadBytesError(tiff, "tif").starts_with("Damaged TIFF file")) << LoadBytesError(tiff, "tif");
    std::vector<unsigned char> png = FileData(Fixture("card.png"));
    png[png.size() / 2] ^= 0xFF;
    EXPECT_TRUE(LoadBytesError(png, "png").starts_with("Damaged PNG file")) << LoadBytesError(png, "png");
}

TEST_F(Readers, SmallFilesClaimingHugePicturesAreRefusedBeforeAllocating) {
    // A Targa header of 60000 x 60000, 24 bits, and a hundred bytes.
    std::vector<unsigned char> tga(18 + 100, 0);
    tga[2] = 2;
    tga[12] = tga[14] = 0x60;
    tga[13] = tga[15] = 0xEA;
    tga[16] = 24;
    const std::string m = LoadBytesError(tga, "tga");
    EXPECT_NE(m.find("too large"), std::string::npos) << m;

    std::vector<unsigned char> cel = FileData(Fixture("card.cel"));
    cel[2] = cel[3] = cel[4] = cel[5] = 0xFF; // 65535 x 65535
    EXPECT_NE(LoadBytesError(cel, "cel").find("too large"), std::string::npos);

    // A PNG header of 40000 x 40000 (with its checksum put right).
    std::vector<unsigned char> png = FileData(Fixture("card.png"));
    const unsigned char size[8] = {0, 0, 0x9C, 0x40, 0, 0, 0x9C, 0x40};
    std::copy(size, size + 8, png.begin() + 16);
    const uint32_t crc = static_cast<uint32_t>(crc32(0, png.data() + 12, 17));
    for (int i = 0; i < 4; ++i)
        png[29 + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
    EXPECT_NE(LoadBytesError(png, "png").find("too large"), std::string::npos) << LoadBytesError(png, "png");

    // A TIFF whose first directory says 50000 x 50000.
    std::vector<unsigned char> tiff = FileData(Fixture("card-none.tif"));
    ASSERT_EQ(tiff[0], 'I');
    const uint32_t ifd = TStream::FromLittleEndian<uint32_t>(tiff.data() + 4);
    const uint16_t count = TStream::FromLittleEndian<uint16_t>(tiff.data() + ifd);
    for (uint16_t i = 0; i < count; ++i) {
        unsigned char* entry = tiff.data() + ifd + 2 + 12 * i;
        const uint16_t tag = TStream::FromLittleEndian<uint16_t>(entry);
        if (tag == 256 || tag == 257) {
            TStream::ToLittleEndian<uint32_t>(50000, entry + 8); // fits either a short or a long field
            TStream::ToLittleEndian<uint16_t>(4, entry + 2);     // as a long
        }
    }
    EXPECT_NE(LoadBytesError(tiff, "tif").find("too large"), std::string::npos)
        << LoadBytesError(tiff, "tif");
}

TEST_F(Readers, EveryReaderKeepsToTheReadLimit) {
    // ImageMagick keeps the limits of the last picture it read: one more, read under the usual
    // limit, leaves it as the other tests expect it.
    struct TLimitBack {
        ~TLimitBack() {
            SetPictureReadLimit(MaxBitmapPixels);
            Load("card.pcx");
        }
    } limitBack;
    // Each picture, read again under a limit one pixel below its size, is refused as too large.
    // (libtiff, whose allocations are held to eight bytes a pixel of the limit, already refuses
    // the directory of a TIFF, or of an EPS preview, under such a tiny limit.)
    std::vector<std::pair<std::string, std::vector<unsigned char>>> pictures;
    for (const auto& entry : std::filesystem::directory_iterator(Fixture("")))
        pictures.emplace_back(entry.path().filename().string(), FileData(entry.path().string()));
    TBitmap32 card(16, 8);
    TMemoryStream bmp;
    WriteBmp(card, bmp);
    pictures.emplace_back("card.bmp", std::vector<unsigned char>(bmp.Memory(), bmp.Memory() + bmp.Size()));
    for (const auto& [name, bytes] : pictures) {
        const std::string extension = PictureFileExtension(name);
        TMemoryStream s;
        s.WriteBuffer(bytes.data(), bytes.size());
        s.SetPosition(0);
        TBitmap32 b;
        LoadPicture(b, s, extension);
        SetPictureReadLimit(int64_t{b.Width()} * b.Height() - 1);
        const std::string refusal = LoadBytesError(bytes, extension);
        if (extension == "tif" || extension == "eps")
            EXPECT_NE(refusal, "") << name;
        else
            EXPECT_EQ(refusal.substr(0, 26), "The picture is too large (") << name;
        SetPictureReadLimit(MaxBitmapPixels);
    }

    // An RLE8 BMP of 80 bytes that claims 7 x 33,554,437 pixels (just under the largest picture
    // the program holds) is refused under a limit of four megapixels before anything is allocated.
    std::vector<unsigned char> rle(14 + 40 + 8 + 2, 0);
    rle[0] = 'B';
    rle[1] = 'M';
    TStream::ToLittleEndian<uint32_t>(static_cast<uint32_t>(rle.size()), &rle[2]);
    TStream::ToLittleEndian<uint32_t>(14 + 40 + 8, &rle[10]);
    TStream::ToLittleEndian<uint32_t>(40, &rle[14]);
    TStream::ToLittleEndian<int32_t>(7, &rle[18]);
    TStream::ToLittleEndian<int32_t>(33554437, &rle[22]);
    TStream::ToLittleEndian<uint16_t>(1, &rle[26]);
    TStream::ToLittleEndian<uint16_t>(8, &rle[28]);
    TStream::ToLittleEndian<uint32_t>(1, &rle[30]); // RLE8
    TStream::ToLittleEndian<uint32_t>(2, &rle[46]); // two colours
    rle[rle.size() - 1] = 1;                        // the end of the bitmap
    SetPictureReadLimit(int64_t{1} << 22);
    EXPECT_EQ(LoadBytesError(rle, "bmp"),
              "The picture is too large (7 x 33554437 pixels); at most 4 megapixels can be held");
    EXPECT_EQ(LoadBytesError(rle, "dib").substr(0, 24), "The picture is too large");
}
