// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/VersionBlock.h"
#include "tests/support/ElfBuilder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {
std::string TextAt(const std::vector<uint8_t>& Block, const std::string& Path) {
    const uint8_t* value = nullptr;
    uint32_t length = 0;
    if (!VerQueryValue(Block, Path, value, length)) return "<none>";
    return std::string(reinterpret_cast<const char*>(value), length);
}

const std::vector<uint8_t> Sample = testelf::VersionBlock(0x04E40409, "040904E4", {{"FileVersion", "2.5"}});
} // namespace

TEST(VersionBlock, ThisProgramCarriesOne) {
    const std::vector<uint8_t> block = ReadVersionBlock(RunningExecutableName());
    ASSERT_GE(block.size(), VersionBlockHeaderSize);
    const uint8_t* value = nullptr;
    uint32_t length = 0;
    ASSERT_TRUE(VerQueryValue(block, "\\VarFileInfo\\Translation", value, length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(value[0] | value[1] << 8, 0x0409);
    EXPECT_EQ(value[2] | value[3] << 8, 0xFDE9);
    EXPECT_EQ(TextAt(block, "\\StringFileInfo\\0409FDE9\\ProductVersion"),
              std::string(QUOR_PROJECT_VERSION) + '\0');
    EXPECT_EQ(TextAt(block, "\\stringfileinfo\\0409fde9\\productname"), std::string("Quorvelle PS") + '\0');
    EXPECT_EQ(TextAt(block, "\\StringFileInfo\\0409FDE9\\LegalTrademarks"), std::string(1, '\0'));
    EXPECT_EQ(TextAt(block, "\\StringFileInfo\\0409FDE9\\Missing"), "<none>");
}

TEST(VersionBlock, FoundInBothElfClasses) {
    for (bool is64 : {false, true}) {
        const std::vector<uint8_t> file = testelf::File(is64, VersionBlockSection, Sample);
        const std::vector<uint8_t> block = FindVersionBlock(file.data(), file.size());
        EXPECT_EQ(block, Sample) << is64;
        EXPECT_EQ(TextAt(block, "\\StringFileInfo\\040904E4\\FileVersion"), std::string("2.5") + '\0');
    }
}

TEST(VersionBlock, FilesWithoutABlockGiveNothing) {
    const auto temp = std::filesystem::temp_directory_path() / "quor_version_block_test.txt";
    { std::ofstream(temp) << "plain text, no executable"; }
    EXPECT_TRUE(ReadVersionBlock(temp.string()).empty());
    std::filesystem::remove(temp);
    EXPECT_TRUE(ReadVersionBlock(temp.string()).empty()); // gone

    const std::vector<uint8_t> other = testelf::File(true, ".data", Sample);
    EXPECT_TRUE(FindVersionBlock(other.data(), other.size()).empty());

    // Damaged blocks: a wrong magic, entries longer than the section, a cut file.
    std::vector<uint8_t> badMagic = Sample;
    badMagic[0] = 'X';
    std::vector<uint8_t> file = testelf::File(true, VersionBlockSection, badMagic);
    EXPECT_TRUE(FindVersionBlock(file.data(), file.size()).empty());
    std::vector<uint8_t> tooLong = Sample;
    tooLong[16] = 0xFF;
    file = testelf::File(false, VersionBlockSection, tooLong);
    EXPECT_TRUE(FindVersionBlock(file.data(), file.size()).empty());
    file = testelf::File(true, VersionBlockSection, Sample);
    EXPECT_TRUE(FindVersionBlock(file.data(), file.size() - 1).empty());
    EXPECT_TRUE(FindVersionBlock(file.data(), 30).empty());
}

TEST(VersionBlock, QueriesStopAtDamagedEntries) {
    std::vector<uint8_t> block = Sample;
    const uint8_t* value = nullptr;
    uint32_t length = 0;
    // The translation entry's length grows past the end: nothing after it can be trusted.
    const size_t lengthAt = VersionBlockHeaderSize + std::string("\\VarFileInfo\\Translation").size() + 1;
    block[lengthAt] = 0xF0;
    EXPECT_FALSE(VerQueryValue(block, "\\StringFileInfo\\040904E4\\FileVersion", value, length));
    block.resize(10);
    EXPECT_FALSE(VerQueryValue(block, "\\VarFileInfo\\Translation", value, length));
}
