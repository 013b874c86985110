// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/UTempManager.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringList.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
void WriteText(const std::string& Path, const std::string& Text) {
    std::ofstream(Path, std::ios::binary) << Text;
}

std::string ReadText(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> Lines(const std::string& Path) {
    TStringList lines;
    lines.LoadFromFile(Path);
    return lines.Items();
}

size_t FilesIn(const std::string& Folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(Folder), fs::directory_iterator()));
}

// True when another open of Path can take its lock, that is when no copy holds it.
bool Unlocked(const std::string& Path) {
    const int fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
}

// Another running copy of the program: a child process with its own service, which lists Count
// files and tells which over a pipe, then waits. Finish lets it exit normally; Kill ends it as a
// crash would.
class TOtherCopy {
public:
    explicit TOtherCopy(int Count) {
        int toParent[2], toChild[2];
        if (pipe(toParent) != 0 || pipe(toChild) != 0) throw std::runtime_error("pipe");
        FPid = fork();
        if (FPid < 0) throw std::runtime_error("fork");
        if (FPid == 0) {
            close(toParent[0]);
            close(toChild[1]);
            int status = 0;
            try {
                TTempManager manager;
                std::string names = manager.LogPath() + "\n";
                for (int i = 0; i < Count; ++i) {
                    const std::string name = manager.GetTempFileName(i % 2 ? ".bmp" : "tsk");
                    WriteText(name, "data of a step");
                    names += name + "\n";
                }
                if (write(toParent[1], names.data(), names.size()) != static_cast<ssize_t>(names.size()))
                    _exit(1);
                close(toParent[1]);
                char go = 0;
                if (read(toChild[0], &go, 1) != 1) status = 3;
            } catch (...) {
                status = 2;
            }
            _exit(status); // the service is freed first, as at a normal exit
        }
        close(toParent[1]);
        close(toChild[0]);
        FGo = toChild[1];
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = read(toParent[0], buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<size_t>(n));
        close(toParent[0]);
        TStringList lines;
        lines.SetText(text);
        if (lines.Count() != Count + 1) throw std::runtime_error("the other copy did not start");
        Log = lines[0];
        Names.assign(lines.begin() + 1, lines.end());
    }
    ~TOtherCopy() {
        if (FPid > 0) Kill();
    }

    // Returns the exit status.
    int Finish() {
        const char go = 1;
        EXPECT_EQ(write(FGo, &go, 1), 1);
        return Wait();
    }
    void Kill() {
        kill(FPid, SIGKILL);
        Wait();
    }

    std::string Log;
    std::vector<std::string> Names;

private:
    int Wait() {
        close(FGo);
        int status = 0;
        waitpid(FPid, &status, 0);
        FPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t FPid = -1;
    int FGo = -1;
};

class TempManagerTest : public ::testing::Test {
protected:
    TTestFolder FRoot;
    std::string FTmp = FRoot / "tmp/";
    std::string FState = FRoot / "state/quorvelle/";
    TScopedEnv FTmpEnv{"TMPDIR", FTmp};
    TScopedEnv FStateEnv{"XDG_STATE_HOME", FRoot / "state"};
    std::string FLog = FState + "TempManager-" + std::to_string(getpid()) + ".log";

    void SetUp() override {
        fs::create_directory(FTmp);
        fs::create_directories(FState);
    }
};
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
        EXPECT_TRUE(std::regex_match(tsk.substr(FTmp.size()), std::regex("~[0-9a-f]{8}tsk"))) << tsk;
        EXPECT_TRUE(std::regex_match(bmp.substr(FTmp.size()), std::regex("~[0-9a-f]{8}\\.bmp"))) << bmp;
        // Both names are reserved on disk and logged, one full path per line, CR LF; the log is
        // locked while the service lives.
        EXPECT_TRUE(fs::exists(tsk));
        EXPECT_TRUE(fs::exists(bmp));
        EXPECT_EQ(ReadText(FLog), tsk + "\r\n" + bmp + "\r\n");
        EXPECT_FALSE(Unlocked(FLog));
        WriteText(bmp, "swap");
        fs::remove(tsk); // its owner deleted it already: no error at exit
    }
    EXPECT_FALSE(fs::exists(bmp));
    EXPECT_FALSE(fs::exists(FLog));
    EXPECT_EQ(FilesIn(FTmp), 0u);
}

// Changed from one shared log: an ended copy's names are not listed again, since another copy may
// have been given one of them since.
TEST_F(TempManagerTest, ACrashedCopyIsCleanedAtTheNextStart) {
    std::vector<std::string> left;
    std::string log;
    {
        TOtherCopy crashed(6);
        crashed.Kill();
        left = crashed.Names;
        log = crashed.Log;
    }
    EXPECT_EQ(Lines(log), left);
    for (const std::string& name : left)
        EXPECT_TRUE(fs::exists(name)) << name;

    TTempManager next;
    for (const std::string& name : left)
        EXPECT_FALSE(fs::exists(name)) << name;
    EXPECT_FALSE(fs::exists(log));
    EXPECT_EQ(next.Names().Count(), 0);
    const std::string fresh = next.GetTempFileName("tsk");
    EXPECT_EQ(Lines(FLog), std::vector<std::string>{fresh});
}

TEST_F(TempManagerTest, TwoRunningCopiesLeaveEachOthersFilesAndLogAlone) {
    TOtherCopy other(4);
    EXPECT_NE(other.Log, FLog);
    std::string mine;
    {
        TTempManager manager;
        mine = manager.GetTempFileName(".bmp");
        for (const std::string& name : other.Names)
            EXPECT_TRUE(fs::exists(name)) << name;
        EXPECT_EQ(Lines(other.Log), other.Names);
    }
    // This copy's normal exit took its own file and log only.
    EXPECT_FALSE(fs::exists(mine));
    EXPECT_FALSE(fs::exists(FLog));
    for (const std::string& name : other.Names)
        EXPECT_TRUE(fs::exists(name)) << name;
    EXPECT_EQ(Lines(other.Log), other.Names);
    // The other copy's normal exit takes its own.
    EXPECT_EQ(other.Finish(), 0);
    EXPECT_FALSE(fs::exists(other.Log));
    EXPECT_EQ(FilesIn(FTmp), 0u);
}

TEST_F(TempManagerTest, AnEndedCopysLogDeletesOnlyOurOwnNamesInTheTemporaryFolder) {
    const std::string ours = FTmp + "~0badcafe.bmp";
    const std::vector<std::string> kept = {
        FRoot / "~0badcafe.bmp",  // our form, elsewhere
        FTmp + "~a-precious.txt", // "~" and a hex digit, not our form
        FTmp + "~0badcafe.txt",   // not our extension
        FTmp + "~0BADCAFEtsk",    // not our digits
        FTmp + "~0badcaftsk",     // seven digits
        FTmp + "sub/~0badcafe.bmp",
    };
    WriteText(ours, "x");
    fs::create_directory(FTmp + "sub");
    for (const std::string& name : kept)
        WriteText(name, "keep me");
    std::string log = ours + "\r\n\r\n" + FTmp + "../~0badcafe.bmp\n~87654321tsk\r\n" +
                      std::string("\x01\xFF\0/\x02", 5) + "\r\n" + FTmp + "\r\n";
    for (const std::string& name : kept)
        log += name + "\r\n";
    WriteText(FState + "TempManager-999999999.log", log);
    {
        TTempManager manager;
        EXPECT_FALSE(fs::exists(ours));
        EXPECT_FALSE(fs::exists(FState + "TempManager-999999999.log"));
        for (const std::string& name : kept)
            EXPECT_TRUE(fs::exists(name)) << name;
        EXPECT_TRUE(fs::is_directory(FTmp));
    }
    for (const std::string& name : kept)
        EXPECT_TRUE(fs::exists(name)) << name;
}

TEST_F(TempManagerTest, LogsThatAreNotFilesNeitherStopNorBlockTheStart) {
    fs::create_directory(FLog); // where this copy's log would go
    ASSERT_EQ(mkfifo((FState + "TempManager-999999998.log").c_str(), 0600), 0);
    testing::internal::CaptureStderr();
    std::string name;
    {
        TTempManager manager;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(FLog + " is not a file"), std::string::npos) << err;
        EXPECT_NE(err.find(FState + "TempManager-999999998.log is not a file"), std::string::npos) << err;
        // This copy logs under the next name.
        EXPECT_EQ(manager.LogPath(), FState + "TempManager-" + std::to_string(getpid()) + "-1.log");
        name = manager.GetTempFileName("tsk");
        EXPECT_EQ(Lines(manager.LogPath()), std::vector<std::string>{name});
    }
    EXPECT_FALSE(fs::exists(name));
    EXPECT_TRUE(fs::is_directory(FLog));
    EXPECT_TRUE(fs::is_fifo(FState + "TempManager-999999998.log"));
}

TEST_F(TempManagerTest, ALogThatCannotBeWrittenRaisesAndStaysWhole) {
    TTempManager manager;
    std::vector<std::string> logged = {manager.GetTempFileName("tsk")};
    for (const TFaultPoint point : {TFaultPoint::fpWrite, TFaultPoint::fpFlush, TFaultPoint::fpClose}) {
        std::string message;
        {
            // The disk fills up a few bytes into the next line.
            TWriteFaultScope fault(point, static_cast<int64_t>(fs::file_size(FLog)) + 10, ENOSPC);
            try {
                manager.GetTempFileName(".bmp");
            } catch (const Exception& e) {
                message = e.what();
            }
        }
        EXPECT_EQ(message, "Could not write " + FLog + ": No space left on device");
        EXPECT_EQ(Lines(FLog), logged);
        // The name is listed all the same, and the next one writes both.
        logged.push_back(manager.Names()[manager.Names().Count() - 1]);
        EXPECT_TRUE(fs::exists(logged.back()));
        logged.push_back(manager.GetTempFileName("tsk"));
        EXPECT_EQ(Lines(FLog), logged);
    }
}
