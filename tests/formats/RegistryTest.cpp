// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/PictureFormats.h"
#include "platform/raster/BmpCodec.h"
#include "platform/rtl/Exception.h"

#include "FormatTestSupport.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace {
std::string TempPath(const std::string& Name) {
    return (std::filesystem::temp_directory_path() / ("quor-formats-" + Name)).string();
}
} // namespace

TEST(PictureFormats, ExtensionIsLowerCasedAndTakenAfterTheLastPoint) {
    EXPECT_EQ(PictureFileExtension("/a/b/Photo.JPG"), "jpg");
    EXPECT_EQ(PictureFileExtension("x.tar.Gz"), "gz");
    EXPECT_EQ(PictureFileExtension("/a.b/photo"), "");
    EXPECT_EQ(PictureFileExtension("/a/.hidden"), "");
    EXPECT_EQ(PictureFileExtension("photo."), "");
}

TEST(PictureFormats, EveryFormatOfTheProgramIsRegistered) {
    RegisterPictureFormats();
    std::vector<std::string> all;
    for (const TPictureFormat& f : PictureFormats()) {
        EXPECT_TRUE(f.Reader) << f.Name;
        all.insert(all.end(), f.Extensions.begin(), f.Extensions.end());
        all.insert(all.end(), f.ReadOnlyExtensions.begin(), f.ReadOnlyExtensions.end());
    }
    for (const char* e : {"bmp", "dib", "jpg", "jpeg", "jpe", "jfif"})
        EXPECT_EQ(std::count(all.begin(), all.end(), e), 1) << e;
    EXPECT_EQ(FindPictureFormat(".JPEG")->Name, "JPEG");
    EXPECT_EQ(FindPictureFormat("Jfif")->Name, "JPEG");
    EXPECT_FALSE(FindPictureFormat("xyz").has_value());
}

TEST(PictureFormats, UnknownOrMissingExtensionSaysSo) {
    RegisterPictureFormats();
    TBitmap32 b;
    EXPECT_EQ(MessageOf([&] { LoadPictureFile(b, "/nowhere/picture.xyz"); }),
              "Unknown picture format: no reader for \".xyz\" files");
    EXPECT_EQ(MessageOf([&] { LoadPictureFile(b, "/nowhere/picture"); }),
              "Unknown picture format: the file name has no extension");
    EXPECT_NE(MessageOf([&] { LoadPictureFile(b, "/nowhere/picture.bmp"); }).find("Cannot open file"),
              std::string::npos);
}

TEST(PictureFormats, AFifoOrAFolderIsNoPicture) {
    RegisterPictureFormats();
    TTestFolder dir;
    const std::string fifo = dir / "fifo.png";
    const std::string folder = dir / "x.png";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(folder);
    TBitmap32 b(2, 3);
    // Opened without waiting for a writer and without asking a folder for its bytes.
    EXPECT_EQ(MessageOf([&] { b.LoadFromFile(fifo); }), fifo + " is not a file");
    EXPECT_EQ(MessageOf([&] { b.LoadFromFile(folder); }), folder + " is not a file");
    EXPECT_EQ(b.Width(), 2);
}

TEST(PictureFormats, BitmapLoadFromFileGoesThroughTheRegistryByExtension) {
    RegisterPictureFormats();
    // A BMP under a JPEG name is read by the JPEG reader, which refuses it.
    TBitmap32 a(2, 1);
    a.SetPixel(0, 0, 0xFF102030);
    a.SetPixel(1, 0, 0xFF405060);
    const std::string bmp = TempPath("registry.BMP");
    const std::string jpg = TempPath("registry.jpg");
    a.SaveToFile(bmp);
    a.SaveToFile(jpg);
    TBitmap32 b;
    b.LoadFromFile(bmp);
    EXPECT_EQ(b.Pixel(1, 0), 0xFF405060u);
    EXPECT_NE(MessageOf([&] { b.LoadFromFile(jpg); }).find("Not a JPEG file"), std::string::npos);
    std::filesystem::remove(bmp);
    std::filesystem::remove(jpg);
}

TEST(PictureFormats, AFormatRegisteredAgainUnderItsNameIsReplacedAndNoExtensionHasTwo) {
    RegisterPictureFormat(
        {"Test", "Test picture", {".Test"}, {"TST"}, [](TBitmap32& B, TStream&) { B.SetSize(3, 2); }, {}});
    const size_t count = PictureFormats().size();
    TMemoryStream s;
    TBitmap32 b;
    LoadPicture(b, s, "tst");
    EXPECT_EQ(b.Width(), 3);
    RegisterPictureFormat(
        {"Test", "Test picture", {"test"}, {}, [](TBitmap32&, TStream&) { RaiseException("refused"); }, {}});
    EXPECT_EQ(PictureFormats().size(), count);
    // The format keeps its place in the table (the tests may have registered others after it).
    const std::vector<TPictureFormat> formats = PictureFormats();
    const auto test = std::find_if(formats.begin(), formats.end(),
                                   [](const TPictureFormat& F) { return F.Name == "Test"; });
    ASSERT_NE(test, formats.end());
    EXPECT_EQ(test->Extensions, std::vector<std::string>{"test"});
    EXPECT_EQ(MessageOf([&] { LoadPicture(b, s, "TEST"); }), "refused");
    EXPECT_FALSE(FindPictureFormat("tst").has_value());
    EXPECT_EQ(MessageOf([] {
                  RegisterPictureFormat({"Other", "Other picture", {"x"}, {".TEST"}, {}, {}});
              }),
              "The extension \".test\" belongs to the picture format Test");
    EXPECT_EQ(PictureFormats().size(), count);
}

TEST(PictureFormats, SizeCheckRefusesTooLargeAndEmptyPictures) {
    // Exactly the largest picture held, 2^28 pixels, and one pixel more.
    EXPECT_NO_THROW(CheckPictureSize(16384, 16384, "X"));
    EXPECT_EQ(MessageOf([] { CheckPictureSize(17, 15790321, "X"); }),
              "The picture is too large (17 x 15790321 pixels); at most 256 megapixels can be held");
    EXPECT_EQ(MessageOf([] { CheckPictureSize(int64_t{1} << 40, 1, "X"); }).substr(0, 24),
              "The picture is too large");
    EXPECT_EQ(MessageOf([] { CheckPictureSize(0, 5, "PNG"); }),
              "Damaged PNG file: the picture size 0 x 5 is invalid");
}
