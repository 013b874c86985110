// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/InfoLabel.h"
#include "tests/support/ElfBuilder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

TEST(ExeInfo, ReadsTheTenStringsOfThisProgram) {
    TInfoLabel label;
    ASSERT_NE(label.ExeInfo(), nullptr);
    const TExeInfo& info = *label.ExeInfo();
    EXPECT_GT(info.Size, 0);
    EXPECT_EQ(info.Size, static_cast<int>(info.Data.size()));
    EXPECT_EQ(info.CompanyName, "Quorvelle");
    EXPECT_EQ(info.FileVersion, QUOR_PROJECT_VERSION);
    EXPECT_EQ(info.ProductVersion, QUOR_PROJECT_VERSION);
    EXPECT_EQ(info.ProductName, "Quorvelle PS");
    EXPECT_EQ(info.InternalName, "quorvelle");
    EXPECT_EQ(info.OriginalFilename, "quorvelle");
    EXPECT_FALSE(info.FileDescription.empty());
    EXPECT_FALSE(info.LegalCopyright.empty());
    EXPECT_TRUE(info.LegalTrademarks.empty());
    EXPECT_FALSE(info.Comments.empty());
}

TEST(ExeInfo, BlockNameOfTheFirstTranslation) {
    EXPECT_EQ(TExeInfo::BlockName(0x04E40409), "040904E4");
    EXPECT_EQ(TExeInfo::BlockName(0x04B00000), "000004B0");

    // A file whose translation is language 0 with code page 04B0 is read under "000004B0".
    const auto path = std::filesystem::temp_directory_path() / "quor_exeinfo_test.elf";
    const std::vector<uint8_t> block =
        testelf::VersionBlock(0x04B00000, "000004B0", {{"FileVersion", "7.1"}, {"Comments", "neutral"}});
    const std::vector<uint8_t> file = testelf::File(true, ".quor_version", block);
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    TExeInfo info(path.string());
    EXPECT_EQ(info.FileVersion, "7.1");
    EXPECT_EQ(info.Comments, "neutral");
    EXPECT_EQ(info.ProductName, "");
    std::filesystem::remove(path);
}

TEST(ExeInfo, AFileWithoutVersionGivesEmptyStrings) {
    const auto path = std::filesystem::temp_directory_path() / "quor_exeinfo_plain.txt";
    { std::ofstream(path) << "no version here"; }
    TExeInfo info(path.string());
    EXPECT_EQ(info.Size, 0);
    EXPECT_EQ(info.FileVersion, "");
    EXPECT_EQ(info.CompanyName, "");
    std::filesystem::remove(path);
    TExeInfo missing(path.string());
    EXPECT_EQ(missing.ProductName, "");
}

TEST(InfoLabel, CaptionByKind) {
    TInfoLabel label;
    label.SetKind(kiFileVersion);
    EXPECT_EQ(label.text().toStdString(), QUOR_PROJECT_VERSION);
    label.SetKind(kiProductName);
    EXPECT_EQ(label.text(), "Quorvelle PS");
    label.SetKind(static_cast<TKindInfoLabel>(12)); // only stored
    EXPECT_EQ(label.Kind(), 12);
    EXPECT_EQ(label.text(), "Quorvelle PS");
}

TEST(InfoLabel, DesignStateShowsTheKeyNames) {
    TInfoLabel label(nullptr, true);
    EXPECT_EQ(label.ExeInfo(), nullptr);
    label.SetKind(kiComments);
    EXPECT_EQ(label.text(), "Comments");
    label.SetKind(kiProductVersion);
    EXPECT_EQ(label.text(), "ProductVersion");
}
