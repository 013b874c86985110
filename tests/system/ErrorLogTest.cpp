// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/ErrorLog.h"

#include "platform/rtl/Exception.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {
std::string Slurp(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
} // namespace

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
