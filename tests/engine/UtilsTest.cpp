// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Utils.h"

#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringList.h"
#include "platform/system/ApplicationFolder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
void Touch(const std::string& Path) {
    std::ofstream(Path, std::ios::binary) << "x";
}

std::string Slurp(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string ExpectMessage(const std::function<void()>& F) {
    try {
        F();
    } catch (const Exception& e) {
        return e.what();
    }
    ADD_FAILURE() << "no Exception";
    return "";
}
} // namespace

TEST(PadNumber, AppendsZerosAfterTheNumber) {
    EXPECT_EQ(PadNumber(0, 4), "0000");
    EXPECT_EQ(PadNumber(1, 4), "1000");
    EXPECT_EQ(PadNumber(12, 4), "1200");
    EXPECT_EQ(PadNumber(10, 4), "1000");
    EXPECT_EQ(PadNumber(12345, 4), "12345");
}

TEST(UniqueFileName, SkipsTakenNamesAndRepeatedCandidates) {
    TTestFolder dir;
    EXPECT_EQ(UniqueFileName(dir.Path(), "stroke", "stk"), dir / "stroke0000.stk");
    Touch(dir / "stroke0000.stk");
    EXPECT_EQ(UniqueFileName(dir.Path(), "stroke", "stk"), dir / "stroke1000.stk");
    // With 0000 .. 9000 taken, counter 10 repeats "1000" (taken) and 11 gives "1100".
    for (int i = 1; i <= 9; ++i)
        Touch(dir / ("stroke" + PadNumber(i, 4) + ".stk"));
    EXPECT_EQ(UniqueFileName(dir.Path(), "stroke", ".stk"), dir / "stroke1100.stk");
    // A folder of that name is taken as well.
    fs::create_directory(dir / "stroke1100.stk");
    EXPECT_EQ(UniqueFileName(dir.Path(), "stroke", ".stk"), dir / "stroke1200.stk");
}

TEST(UniqueFileName, FolderWithoutSlashEmptyFolderAndCreation) {
    TTestFolder dir;
    const std::string bare = dir.Path().substr(0, dir.Path().size() - 1);
    EXPECT_EQ(UniqueFileName(bare, "style", ".gst"), bare + "/style0000.gst");

    // One missing level is created.
    EXPECT_EQ(UniqueFileName(dir / "new", "style", "gst"), dir / "new/style0000.gst");
    EXPECT_TRUE(fs::is_directory(dir / "new"));
    // Two are not.
    EXPECT_EQ(ExpectMessage([&] { UniqueFileName(dir / "a/b", "style", "gst"); }),
              "Cannot Create " + dir / "a/b");

    SetApplicationFolder(dir.Path());
    EXPECT_EQ(UniqueFileName("", "style", "gst"), dir / "style0000.gst");
    SetApplicationFolder("");
}

TEST(GetFiles, ListsMatchesWithTheFolderInFront) {
    TTestFolder dir;
    Touch(dir / "b.gst");
    Touch(dir / "A.GST");
    Touch(dir / "c.stk");
    fs::create_directory(dir / "sub.gst");
    TStringList list;
    list.Add("old entry");
    GetFiles(dir.Path(), "*.gst", &list);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[0], dir / "A.GST");
    EXPECT_EQ(list[1], dir / "b.gst");
    EXPECT_EQ(list[2], dir / "sub.gst");

    Touch(dir / "noext");
    GetFiles(dir.Path(), "*.*", &list);
    EXPECT_EQ(list.Count(), 5);
    EXPECT_NE(list.IndexOf(dir / "noext"), -1);

    GetFiles(dir / "missing/", "*.gst", &list);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(ExpectMessage([&] { GetFiles(dir.Path(), "*.gst", nullptr); }),
              "GetFiles: FileList must be created");
}

TEST(DeleteFiles, DeletesMatchingFilesOnly) {
    TTestFolder dir;
    Touch(dir / "one.bmp");
    Touch(dir / "two.bmp");
    Touch(dir / "keep.txt");
    fs::create_directories(dir / "folder.bmp/inner");
    Touch(dir / "folder.bmp/inner/deep.bmp");
    DeleteFiles(dir.Path().substr(0, dir.Path().size() - 1), "*.bmp");
    EXPECT_FALSE(fs::exists(dir / "one.bmp"));
    EXPECT_FALSE(fs::exists(dir / "two.bmp"));
    EXPECT_TRUE(fs::exists(dir / "keep.txt"));
    EXPECT_TRUE(fs::exists(dir / "folder.bmp/inner/deep.bmp"));
    DeleteFiles(dir / "missing", "*.*");
    DeleteFiles(dir / "folder.bmp/", "*.*");
    EXPECT_TRUE(fs::exists(dir / "folder.bmp/inner"));
}

TEST(AppendLine, CreatesThenAppends) {
    TTestFolder dir;
    AppendLine(dir / "log.txt", "first");
    EXPECT_EQ(Slurp(dir / "log.txt"), "first\r\n");
    AppendLine(dir / "log.txt", "second");
    EXPECT_EQ(Slurp(dir / "log.txt"), "first\r\nsecond\r\n");
    EXPECT_THROW(AppendLine(dir / "missing/log.txt", "x"), Exception);
}

TEST(AppendLine, FileThatNeverOpensRaisesAfterBoundedTries) {
    TTestFolder dir;
    // A folder of that name exists but never opens for appending.
    fs::create_directory(dir / "log.txt");
    EXPECT_THROW(AppendLine(dir / "log.txt", "line"), Exception);
    EXPECT_TRUE(fs::is_directory(dir / "log.txt"));
}

TEST(AppendLine, AFifoIsRefusedWithoutWaitingOnIt) {
    TTestFolder dir;
    ASSERT_EQ(mkfifo((dir / "quor.log").c_str(), 0600), 0);
    try {
        AppendLine(dir / "quor.log", "line");
        FAIL() << "a FIFO was written to";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), (dir / "quor.log") + " is not a file");
    }
}

TEST(LogException, AppendsTheMessageToQuorLogInTheCurrentDirectory) {
    TTestFolder dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.Path());
    LogException(Exception("Stream read error"));
    LogException(Exception("second"));
    fs::current_path(before);
    EXPECT_EQ(Slurp(dir / "quor.log"), "Stream read error\r\nsecond\r\n");
}

TEST(Texts, IndexErrorAndByteSizes) {
    EXPECT_EQ(IndexErrorText(7, "TStyleManager.GetQStyle"),
              "TStyleManager.GetQStyle: Index out of bounds(7)");
    EXPECT_EQ(IndexErrorText(-1, "TPattern.GetFrames"), "TPattern.GetFrames: Index out of bounds(-1)");

    SetDecimalSeparator('.');
    EXPECT_EQ(FormatByteSize(0), "0 bytes");
    EXPECT_EQ(FormatByteSize(1023), "1023 bytes");
    EXPECT_EQ(FormatByteSize(-5), "-5 bytes");
    EXPECT_EQ(FormatByteSize(-2048), "-2048 bytes");
    EXPECT_EQ(FormatByteSize(1024), "1 Kb");
    EXPECT_EQ(FormatByteSize(1536), "1.5 Kb");
    EXPECT_EQ(FormatByteSize(1048576), "1 Mb");
    EXPECT_EQ(FormatByteSize(1234567), "1.1774 Mb");
    EXPECT_EQ(FormatByteSize(1073741824), "1 Gb");
    EXPECT_EQ(FormatByteSize(2147483647), "2 Gb");
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatByteSize(1536), "1,5 Kb");
    SetDecimalSeparator('.');
}

TEST(Curves, RecordsAreLittleEndianFieldByField) {
    const TBezierCurves curves = {{{1, -2}, {0x01020304, 5}, {6, 7}, {-8, 0x7FFFFFFF}},
                                  {{9, 10}, {11, 12}, {13, 14}, {15, 16}}};
    TMemoryStream s;
    WriteCurves(s, curves);
    ASSERT_EQ(s.Size(), 64);
    const unsigned char* b = s.Memory();
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[4], 0xFE);
    EXPECT_EQ(b[7], 0xFF);
    EXPECT_EQ(b[8], 0x04);
    EXPECT_EQ(b[11], 0x01);
    EXPECT_EQ(b[28], 0xFF);
    EXPECT_EQ(b[31], 0x7F);
    EXPECT_EQ(b[32], 9);

    s.SetPosition(0);
    TBezierCurves back(2);
    ReadCurves(s, back);
    EXPECT_EQ(back, curves);
    EXPECT_EQ(s.Position(), 64);
}

TEST(Curves, ShortDataRaisesInsteadOfLeavingGarbage) {
    TMemoryStream s;
    WriteCurves(s, TBezierCurves(1, TBezierCurve{{1, 2}, {3, 4}, {5, 6}, {7, 8}}));
    s.WriteValue<uint32_t>(99); // a second record cut short
    s.SetPosition(0);
    TBezierCurves back(2);
    EXPECT_THROW(ReadCurves(s, back), Exception);
    s.SetPosition(0);
    TBezierCurves none;
    ReadCurves(s, none);
    EXPECT_EQ(s.Position(), 0);
}

TEST(Folders, AppFolderAndItsTmpFolder) {
    SetApplicationFolder("/opt/quor");
    EXPECT_EQ(AppFolder(), "/opt/quor/");
    EXPECT_EQ(AppTempFolder(), "/opt/quor/tmp");
    SetApplicationFolder("");
    EXPECT_EQ(AppFolder().back(), '/');
    EXPECT_NO_THROW(InitializeUtils());
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
