// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/PictureFormats.h"
#include "platform/raster/BmpCodec.h"
#include "platform/rtl/Exception.h"

#include "FormatTestSupport.h"
#include "tests/support/AllocationFaults.h"

#include <Magick++.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace {

class Readers : public ::testing::Test {
protected:
    void SetUp() override { RegisterPictureFormats(); }
    // A test that lowers the read limit has it put back. ImageMagick keeps the limits of the last
    // picture it read: one more, read under the usual limit, leaves it as the other tests expect.
    void TearDown() override {
        if (PictureReadLimit() == MaxBitmapPixels) return;
        SetPictureReadLimit(MaxBitmapPixels);
        Load("card.pcx");
    }

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

namespace {

// The TIFF that starts at Start in a file, its size changed to Width x Height.
// The fixture Name with its width and height, 16-bit little-endian side by side at At, claiming
// Width x Height.
std::vector<unsigned char> SidesClaiming(const char* Name, size_t At, int Width, int Height) {
    std::vector<unsigned char> bytes = FileData(Fixture(Name));
    TStream::ToLittleEndian<uint16_t>(static_cast<uint16_t>(Width), &bytes[At]);
    TStream::ToLittleEndian<uint16_t>(static_cast<uint16_t>(Height), &bytes[At + 2]);
    return bytes;
}

std::vector<unsigned char> TiffClaiming(std::vector<unsigned char> Tiff, size_t Start, int Width,
                                        int Height) {
    unsigned char* tiff = Tiff.data() + Start;
    EXPECT_EQ(tiff[0], 'I');
    const uint32_t ifd = TStream::FromLittleEndian<uint32_t>(tiff + 4);
    const uint16_t count = TStream::FromLittleEndian<uint16_t>(tiff + ifd);
    for (uint16_t i = 0; i < count; ++i) {
        unsigned char* entry = tiff + ifd + 2 + 12 * i;
        const uint16_t tag = TStream::FromLittleEndian<uint16_t>(entry);
        if (tag == 256 || tag == 257) {
            TStream::ToLittleEndian<uint16_t>(4, entry + 2); // a long, whichever it was
            TStream::ToLittleEndian<uint32_t>(tag == 256 ? Width : Height, entry + 8);
        }
    }
    return Tiff;
}

void PutBigEndian16(unsigned char* P, int Value) {
    P[0] = static_cast<unsigned char>(Value >> 8);
    P[1] = static_cast<unsigned char>(Value);
}

// A file of each reader that claims a picture of Width x Height pixels but holds the data of a
// few: a fixture with its size changed, or a BMP made for it.
struct TClaim {
    const char* Name;
    const char* Extension;
    std::function<std::vector<unsigned char>(int Width, int Height)> Make;
};

const TClaim Claims[] = {
    {"BMP", "bmp",
     [](int W, int H) {
         // RLE8: two colours and the end of the bitmap.
         std::vector<unsigned char> rle(14 + 40 + 8 + 2, 0);
         rle[0] = 'B';
         rle[1] = 'M';
         TStream::ToLittleEndian<uint32_t>(static_cast<uint32_t>(rle.size()), &rle[2]);
         TStream::ToLittleEndian<uint32_t>(14 + 40 + 8, &rle[10]);
         TStream::ToLittleEndian<uint32_t>(40, &rle[14]);
         TStream::ToLittleEndian<int32_t>(W, &rle[18]);
         TStream::ToLittleEndian<int32_t>(H, &rle[22]);
         TStream::ToLittleEndian<uint16_t>(1, &rle[26]);
         TStream::ToLittleEndian<uint16_t>(8, &rle[28]);
         TStream::ToLittleEndian<uint32_t>(1, &rle[30]);
         TStream::ToLittleEndian<uint32_t>(2, &rle[46]);
         rle[rle.size() - 1] = 1;
         return rle;
     }},
    {"JPEG", "jpg",
     [](int W, int H) {
         std::vector<unsigned char> jpeg = FileData(Fixture("card.jpg"));
         const unsigned char sof[] = {0xFF, 0xC0};
         const auto at = std::search(jpeg.begin(), jpeg.end(), sof, sof + 2) - jpeg.begin();
         PutBigEndian16(&jpeg[at + 5], H);
         PutBigEndian16(&jpeg[at + 7], W);
         return jpeg;
     }},
    {"PNG", "png",
     [](int W, int H) {
         std::vector<unsigned char> png = FileData(Fixture("card.png"));
         for (int i = 0; i < 4; ++i) {
             png[16 + i] = static_cast<unsigned char>(uint32_t(W) >> (24 - 8 * i));
             png[20 + i] = static_cast<unsigned char>(uint32_t(H) >> (24 - 8 * i));
         }
         const uint32_t crc = static_cast<uint32_t>(crc32(0, png.data() + 12, 17));
         for (int i = 0; i < 4; ++i)
             png[29 + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
         return png;
     }},
    {"TIFF", "tif", [](int W, int H) { return TiffClaiming(FileData(Fixture("card-none.tif")), 0, W, H); }},
    {"EPS preview", "eps",
     [](int W, int H) {
         const std::vector<unsigned char> eps = FileData(Fixture("card.eps"));
         return TiffClaiming(eps, TStream::FromLittleEndian<uint32_t>(eps.data() + 20), W, H);
     }},
    {"Targa (ImageMagick)", "tga", [](int W, int H) { return SidesClaiming("card.tga", 12, W, H); }},
    {"Autodesk cel", "cel", [](int W, int H) { return SidesClaiming("card.cel", 2, W, H); }},
    {"Paint Shop Pro", "psp",
     [](int W, int H) {
         // Every width and height of the file: the picture's, its composite's and its thumbnail's.
         std::vector<unsigned char> psp = FileData(Fixture("card-raw.psp"));
         const unsigned char card[8] = {16, 0, 0, 0, 8, 0, 0, 0};
         for (auto at = psp.begin(); (at = std::search(at, psp.end(), card, card + 8)) != psp.end();
              at += 8) {
             TStream::ToLittleEndian<int32_t>(W, &*at);
             TStream::ToLittleEndian<int32_t>(H, &*at + 4);
         }
         return psp;
     }},
    {"RLA", "rla",
     [](int W, int H) {
         std::vector<unsigned char> rla = FileData(Fixture("card.rla"));
         PutBigEndian16(&rla[10], W - 1); // the active window's right and top; left and bottom are 0
         PutBigEndian16(&rla[14], H - 1);
         return rla;
     }},
};

} // namespace

TEST_F(Readers, EachReaderTakesAClaimOfExactlyTheLimitAndRefusesOnePixelMoreBeforeAllocating) {
    // A limit of about two megapixels: a picture at the limit takes 8 MB, its file a few hundred bytes.
    constexpr int Width = 1500, Height = 1401;
    constexpr int64_t Pixels = int64_t{Width} * Height;
    for (const TClaim& claim : Claims) {
        SCOPED_TRACE(claim.Name);
        const std::vector<unsigned char> file = claim.Make(Width, Height);
        SetPictureReadLimit(Pixels);
        EXPECT_EQ(LoadBytesError(file, claim.Extension).find("too large"), std::string::npos)
            << LoadBytesError(file, claim.Extension);
        SetPictureReadLimit(Pixels - 1);
        const TAllocationCeiling ceiling(Pixels); // a quarter of the picture
        EXPECT_EQ(LoadBytesError(file, claim.Extension),
                  "The picture is too large (1500 x 1401 pixels); at most 2 megapixels can be held");
        EXPECT_FALSE(ceiling.Hit());
    }
}

TEST_F(Readers, EveryPictureIsReadUnderALimitOfExactlyItsSizeAndRefusedOnePixelBelow) {
    std::vector<std::pair<std::string, std::vector<unsigned char>>> pictures;
    for (const auto& entry : std::filesystem::directory_iterator(Fixture("")))
        pictures.emplace_back(entry.path().filename().string(), FileData(entry.path().string()));
    TBitmap32 card(16, 8);
    TMemoryStream bmp;
    WriteBmp(card, bmp);
    pictures.emplace_back("card.bmp", std::vector<unsigned char>(bmp.Memory(), bmp.Memory() + bmp.Size()));
    for (const auto& [name, bytes] : pictures) {
        const std::string extension = PictureFileExtension(name);
        SetPictureReadLimit(MaxBitmapPixels);
        TMemoryStream s;
        s.WriteBuffer(bytes.data(), bytes.size());
        s.SetPosition(0);
        TBitmap32 b;
        LoadPicture(b, s, extension);
        const int64_t pixels = int64_t{b.Width()} * b.Height();
        SetPictureReadLimit(pixels);
        EXPECT_EQ(LoadBytesError(bytes, extension), "") << name;
        // The size as stored, which a turned photo has the other way round; ImageMagick refuses
        // an icon of one pixel more itself, with a reason of its own.
        SetPictureReadLimit(pixels - 1);
        const std::string refusal = LoadBytesError(bytes, extension);
        const std::string w = std::to_string(b.Width()), h = std::to_string(b.Height());
        EXPECT_TRUE(refusal.starts_with("The picture is too large (" + w + " x " + h + " pixels)") ||
                    refusal.starts_with("The picture is too large (" + h + " x " + w + " pixels)"))
            << name << ": " << refusal;
    }
}
