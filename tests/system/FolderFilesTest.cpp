// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/FolderFiles.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/StringList.h"
#include "platform/system/ApplicationFolder.h"
#include "platform/system/PerformanceCounter.h"
#include "tests/support/RaisedMessage.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {
void Touch(const std::string& Path) {
    std::ofstream(Path, std::ios::binary) << "x";
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
    EXPECT_EQ(MessageOf([&] { UniqueFileName(dir / "a/b", "style", "gst"); }),
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
    EXPECT_EQ(MessageOf([&] { GetFiles(dir.Path(), "*.gst", nullptr); }),
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

TEST(Folders, AppFolderAndItsTmpFolder) {
    SetApplicationFolder("/opt/quor");
    EXPECT_EQ(AppFolder(), "/opt/quor/");
    EXPECT_EQ(AppTempFolder(), "/opt/quor/tmp");
    SetApplicationFolder("");
    EXPECT_EQ(AppFolder().back(), '/');
    EXPECT_NO_THROW(CheckPerformanceCounter());
}
