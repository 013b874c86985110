// SPDX-License-Identifier: GPL-3.0-or-later
// Saving pictures through the registry: the name's extension picks the writer, a writer writes
// its own bytes, an extension no writer takes is refused, and a failed save keeps the old file.
#include "platform/formats/JpegCodec.h"
#include "platform/formats/PictureFormats.h"
#include "platform/formats/UMultiPageTiff.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/BmpCodec.h"
#include "platform/rtl/Streams.h"
#include "tests/support/RaisedMessage.h"
#include "tests/support/TempDir.h"
#include "tests/support/WriteFaults.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Bytes(TMemoryStream& Stream) {
    return std::string(reinterpret_cast<const char*>(Stream.Memory()), static_cast<size_t>(Stream.Size()));
}

TBitmap32 Card() {
    TBitmap32 b(16, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            b.SetPixel(x, y, Color32(static_cast<uint8_t>(16 * x), static_cast<uint8_t>(32 * y), 99));
    return b;
}

} // namespace

TEST(PictureWriters, TheNamesExtensionPicksTheWriterAndEachWritesItsOwnBytes) {
    RegisterPictureFormats();
    const TBitmap32 card = Card();
    // What each format's writer makes on its own: the save adds nothing and drops nothing.
    TMemoryStream bmp, jpeg, tiff;
    WriteBmp(card, bmp);
    WriteJpeg(card, jpeg, 90);
    TMultiPageTiff::SaveBitmap(card, tiff, 300.0);
    TTestFolder dir;
    const std::pair<const char*, std::string> saves[] = {
        {"a.bmp", Bytes(bmp)},  {"b.JPG", Bytes(jpeg)},  {"c.jpeg", Bytes(jpeg)},
        {"d.tif", Bytes(tiff)}, {"e.TIFF", Bytes(tiff)},
    };
    for (const auto& [name, expected] : saves) {
        SavePictureFile(card, dir / name, 300.0);
        EXPECT_EQ(FileBytes(dir / name), expected) << name;
        TMemoryStream stream;
        SavePicture(card, stream, PictureFileExtension(name), 300.0);
        EXPECT_EQ(Bytes(stream), expected) << name;
    }
    // The resolution reaches TIFF files only.
    SavePictureFile(card, dir / "f.bmp", 72.0);
    EXPECT_EQ(FileBytes(dir / "f.bmp"), Bytes(bmp));
    SavePictureFile(card, dir / "g.tif", 72.0);
    EXPECT_NE(FileBytes(dir / "g.tif"), Bytes(tiff));
}

TEST(PictureWriters, AnExtensionNoWriterTakesIsRefusedBeforeAnythingIsWritten) {
    RegisterPictureFormats();
    TTestFolder dir;
    const std::string list =
        "The drawing can be saved as JPEG (.jpg, .jpeg), BMP (.bmp) or TIFF (.tif, .tiff), ";
    // Read, but not written: PNG and the other JPEG extensions. The extension as it was typed.
    EXPECT_EQ(MessageOf([&] { SavePictureFile(Card(), dir / "a.PNG", 200.0); }), list + "not as \".PNG\"");
    EXPECT_EQ(MessageOf([&] { SavePictureFile(Card(), dir / "b.jpe", 200.0); }), list + "not as \".jpe\"");
    EXPECT_EQ(MessageOf([&] { SavePictureFile(Card(), dir / "drawing", 200.0); }), list + "not as \"\"");
    TMemoryStream stream;
    EXPECT_EQ(MessageOf([&] { SavePicture(Card(), stream, "png", 200.0); }), list + "not as \".png\"");
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_TRUE(FolderEntries(dir.Path()).empty());
    // A known extension in a folder that is not there: the file's own message.
    EXPECT_EQ(MessageOf([&] { SavePictureFile(Card(), dir / "no/such.tif", 200.0); }),
              "Cannot create file \"" + dir / "no/such.tif" + "\". No such file or directory");
}

TEST(PictureWriters, AFailedSaveKeepsTheOldFileWholeInEveryFormat) {
    RegisterPictureFormats();
    TTestFolder dir;
    TBitmap32 picture(64, 64);
    picture.Clear(0xFF336699u);
    for (const char* name : {"drawing.bmp", "drawing.jpg", "drawing.tif"}) {
        SCOPED_TRACE(name);
        const std::string path = dir / name;
        SavePictureFile(Card(), path, 200.0);
        ExpectFailedSavesKeepTarget(path, [&] { SavePictureFile(picture, path, 300.0); });
    }
}

TEST(PictureWriters, AWriterIsReplacedWithItsFormatAndTakesOnlyItsOwnExtensions) {
    RegisterPictureFormats();
    const size_t count = PictureFormats().size();
    RegisterPictureFormat(
        {"BMP", "Windows bitmap", {".Bmp", "dib"}, {}, {}, [](const TBitmap32&, TStream& S, double) {
             S.WriteValue<uint8_t>(7);
         }});
    EXPECT_EQ(PictureFormats().size(), count);
    TMemoryStream stream;
    SavePicture(Card(), stream, "DIB", 200.0);
    EXPECT_EQ(Bytes(stream), "\x07");
    TBitmap32 b;
    EXPECT_EQ(MessageOf([&] { LoadPicture(b, stream, "bmp"); }),
              "Unknown picture format: no reader for \".bmp\" files");
    // The program's own formats again, however often they are registered: "dib" is read, but a
    // picture is never saved under it.
    RegisterPictureFormats();
    RegisterPictureFormats();
    std::vector<std::string> names;
    for (const TPictureFormat& f : PictureFormats())
        if (f.Writer) names.push_back(f.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"JPEG", "BMP", "TIFF"}));
    EXPECT_EQ(PictureFormats().size(), count);
    EXPECT_EQ(FindPictureFormat("dib")->Name, "BMP");
    EXPECT_NE(MessageOf([&] { SavePicture(Card(), stream, "dib", 200.0); }).find("not as \".dib\""),
              std::string::npos);
}
