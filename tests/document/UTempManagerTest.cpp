#include "document/UTempManager.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/StringList.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
class TempManagerTest : public ::testing::Test {
protected:
    TTestFolder FRoot;
    std::string FTmp = FRoot / "tmp/";
    std::string FState = FRoot / "state";
    TScopedEnv FTmpEnv{"TMPDIR", FTmp};
    TScopedEnv FStateEnv{"XDG_STATE_HOME", FState};
    std::string FLog = FRoot / "state/quorvelle/TempManager.log";

    void SetUp() override { fs::create_directory(FTmp); }

    std::vector<std::string> LogLines() {
        TStringList lines;
        lines.LoadFromFile(FLog);
        return lines.Items();
    }
};

void WriteText(const std::string& Path, const std::string& Text) {
    std::ofstream(Path, std::ios::binary) << Text;
}
} // namespace

TEST_F(TempManagerTest, NamesLogAndCleanUp) {
    std::string tsk, bmp;
    {
        TTempManager manager;
        EXPECT_EQ(manager.LogPath(), FLog);
        tsk = manager.GetTempFileName("tsk");
        bmp = manager.GetTempFileName(".bmp");
        EXPECT_NE(tsk, bmp);
        ASSERT_EQ(tsk.substr(0, FTmp.size()), FTmp);
        EXPECT_TRUE(std::regex_match(tsk.substr(FTmp.size()), std::regex("~[0-9a-f]+tsk"))) << tsk;
        EXPECT_EQ(fs::path(tsk).filename().string().find('.'), std::string::npos);
        EXPECT_EQ(bmp.substr(bmp.size() - 4), ".bmp");
        // Both names are reserved on disk and logged, one full path per line, CR LF.
        EXPECT_TRUE(fs::exists(tsk));
        EXPECT_TRUE(fs::exists(bmp));
        EXPECT_EQ(LogLines(), std::vector<std::string>({tsk, bmp}));
        std::ifstream in(FLog, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), tsk + "\r\n" + bmp + "\r\n");
        WriteText(bmp, "swap");
        fs::remove(tsk); // its owner deleted it already: no error at exit
    }
    EXPECT_FALSE(fs::exists(bmp));
    EXPECT_FALSE(fs::exists(FLog));
    EXPECT_EQ(std::distance(fs::directory_iterator(FTmp), fs::directory_iterator()), 0);
}

TEST_F(TempManagerTest, CrashedRunIsCleanedAtTheNextStart) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        try {
            TTempManager manager;
            for (int i = 0; i < 6; ++i)
                WriteText(manager.GetTempFileName(i % 2 ? ".bmp" : "tsk"), "data of a step");
            // Killed here, while the service is alive.
            const char done = 1;
            if (write(ready[1], &done, 1) != 1) _exit(1);
            for (;;)
                pause();
        } catch (...) {
            _exit(2);
        }
    }
    close(ready[1]);
    char done = 0;
    ASSERT_EQ(read(ready[0], &done, 1), 1);
    close(ready[0]);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(done, 1);

    const std::vector<std::string> left = LogLines();
    ASSERT_EQ(left.size(), 6u);
    for (const std::string& name : left)
        EXPECT_TRUE(fs::exists(name)) << name;

    TTempManager next;
    for (const std::string& name : left)
        EXPECT_FALSE(fs::exists(name)) << name;
    EXPECT_FALSE(fs::exists(FLog));
    // The old names stay listed: the next name rewrites the log with them first.
    const std::string fresh = next.GetTempFileName("tsk");
    std::vector<std::string> expected = left;
    expected.push_back(fresh);
    EXPECT_EQ(LogLines(), expected);
}

TEST_F(TempManagerTest, DamagedLogDeletesOnlyOurOwnNames) {
    fs::create_directories(FState + "/quorvelle");
    const std::string ours = FTmp + "~0badcafe.bmp";
    const std::string missing = FTmp + "~12345678tsk";
    const std::string foreign = FRoot / "important.txt";
    const std::string relative = "~87654321tsk";
    WriteText(ours, "x");
    WriteText(foreign, "keep me");
    WriteText(FLog, ours + "\r\n" + missing + "\r\n\r\n" + foreign + "\n" + relative + "\r\n" +
                        std::string("\x01\xFF\0/\x02", 5) + "\r\n" + FTmp + "\r\n");
    {
        TTempManager manager;
        EXPECT_FALSE(fs::exists(ours));
        EXPECT_TRUE(fs::exists(foreign));
        EXPECT_TRUE(fs::is_directory(FTmp));
        EXPECT_FALSE(fs::exists(FLog));
        EXPECT_EQ(manager.Names().Count(), 6); // the empty line is dropped
    }
    EXPECT_TRUE(fs::exists(foreign));
}

TEST_F(TempManagerTest, UnwritableLogRaisesWithTheNameListed) {
    {
        TScopedEnv state("XDG_STATE_HOME", FRoot / "state");
        TTempManager manager;
        // A folder in the log's place makes it unwritable.
        fs::create_directories(FLog);
        EXPECT_THROW(manager.GetTempFileName("tsk"), Exception);
        EXPECT_EQ(manager.Names().Count(), 1);
        EXPECT_TRUE(fs::exists(manager.Names()[0]));
        fs::remove(FLog);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(FTmp), fs::directory_iterator()), 0);
}
