// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/UTempManager.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringList.h"
#include "tests/support/AllowedSkip.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempLogFolders.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {
std::vector<std::string> Lines(const std::string& Path) {
    TStringList lines;
    lines.LoadFromFile(Path);
    return lines.Items();
}

// The names of temporary files a log lists, without the lines that say their folder.
std::vector<std::string> LoggedNames(const std::string& Path) {
    std::vector<std::string> names;
    for (const std::string& line : Lines(Path))
        if (line.compare(0, 8, "folder: ") != 0) names.push_back(line);
    return names;
}

size_t FilesIn(const std::string& Folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(Folder), fs::directory_iterator()));
}

// Another running copy of the program: a child process with its own service, which lists Count
// files (or does what Body does) and tells which over a pipe, then waits. Finish lets it exit
// normally; Kill ends it as a crash would.
class TOtherCopy {
public:
    // Given the child's service; returns the lines to tell (names, say). Raises to fail the child.
    using TBody = std::function<std::vector<std::string>(TTempManager& Manager)>;

    explicit TOtherCopy(int Count)
        : TOtherCopy([Count](TTempManager& Manager) {
              std::vector<std::string> names;
              for (int i = 0; i < Count; ++i) {
                  names.push_back(Manager.GetTempFileName(i % 2 ? ".bmp" : "tsk"));
                  WriteText(names.back(), "data of a step");
              }
              return names;
          }) {}

    explicit TOtherCopy(const TBody& Body) {
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
                for (const std::string& line : Body(manager))
                    names += line + "\n";
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
        if (lines.Count() == 0) throw std::runtime_error("the other copy failed");
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

using TempManagerTest = TTempLogFolders;
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
        EXPECT_EQ(FileBytes(FLog), "folder: " + FTmp + "\r\n" + tsk + "\r\n" + bmp + "\r\n");
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
    EXPECT_EQ(LoggedNames(log), left);
    for (const std::string& name : left)
        EXPECT_TRUE(fs::exists(name)) << name;

    TTempManager next;
    for (const std::string& name : left)
        EXPECT_FALSE(fs::exists(name)) << name;
    EXPECT_FALSE(fs::exists(log));
    EXPECT_EQ(next.Names().Count(), 0);
    const std::string fresh = next.GetTempFileName("tsk");
    EXPECT_EQ(LoggedNames(FLog), std::vector<std::string>{fresh});
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
        EXPECT_EQ(LoggedNames(other.Log), other.Names);
    }
    // This copy's normal exit took its own file and log only.
    EXPECT_FALSE(fs::exists(mine));
    EXPECT_FALSE(fs::exists(FLog));
    for (const std::string& name : other.Names)
        EXPECT_TRUE(fs::exists(name)) << name;
    EXPECT_EQ(LoggedNames(other.Log), other.Names);
    // The other copy's normal exit takes its own.
    EXPECT_EQ(other.Finish(), 0);
    EXPECT_FALSE(fs::exists(other.Log));
    EXPECT_EQ(FilesIn(FTmp), 0u);
}

TEST_F(TempManagerTest, AnEndedCopysLogDeletesOnlyOurOwnNamesInTheTemporaryFolder) {
    const std::string ours = FTmp + "~0badcafe.bmp";
    const std::string tiles = FTmp + "~0badcaff.tiles"; // swapped-out tiles
    const std::vector<std::string> kept = {
        FRoot / "~0badcafe.bmp",  // our form, elsewhere
        FTmp + "~a-precious.txt", // "~" and a hex digit, not our form
        FTmp + "~0badcafe.txt",   // not our extension
        FTmp + "~0BADCAFEtsk",    // not our digits
        FTmp + "~0badcaftsk",     // seven digits
        FTmp + "sub/~0badcafe.bmp",
    };
    WriteText(ours, "x");
    WriteText(tiles, "x");
    fs::create_directory(FTmp + "sub");
    for (const std::string& name : kept)
        WriteText(name, "keep me");
    std::string log = ours + "\r\n" + tiles + "\r\n\r\n" + FTmp + "../~0badcafe.bmp\n~87654321tsk\r\n" +
                      std::string("\x01\xFF\0/\x02", 5) + "\r\n" + FTmp + "\r\n";
    for (const std::string& name : kept)
        log += name + "\r\n";
    WriteText(FState + "TempManager-999999999.log", log);
    {
        TTempManager manager;
        EXPECT_FALSE(fs::exists(ours));
        EXPECT_FALSE(fs::exists(tiles));
        EXPECT_FALSE(fs::exists(FState + "TempManager-999999999.log"));
        for (const std::string& name : kept)
            EXPECT_TRUE(fs::exists(name)) << name;
        EXPECT_TRUE(fs::is_directory(FTmp));
    }
    for (const std::string& name : kept)
        EXPECT_TRUE(fs::exists(name)) << name;
}

// A full disk: the log is lost and told once, tried again (whole) at every name, and once it is
// written again it lists every name and write-aside file of the session, and says so once.
TEST_F(TempManagerTest, ALostLogIsTriedAgainAtEveryNameAndOnceWrittenListsThemAll) {
    const std::string aside = FRoot / ".draw.bmp.0badcafe";
    for (const TFaultPoint point : {TFaultPoint::fpWrite, TFaultPoint::fpFlush, TFaultPoint::fpClose}) {
        std::vector<std::string> told, names;
        std::vector<TTempManager::TNotice> kinds;
        {
            TTempManager manager;
            manager.SetNoticeHook([&](const std::string& Message, TTempManager::TNotice Kind) {
                told.push_back(Message);
                kinds.push_back(Kind);
            });
            names.push_back(manager.GetTempFileName("tsk"));
            const std::string before = FileBytes(FLog);
            std::string whole = before;
            {
                // The disk fills up a few bytes into the next line, and stays full.
                TWriteFaultScope fault(point, static_cast<int64_t>(before.size()) + 10, ENOSPC);
                for (int i = 0; i < 50; ++i) {
                    names.push_back(manager.GetTempFileName(i % 2 ? ".bmp" : "tsk"));
                    whole += names.back() + "\r\n";
                }
                manager.ListWriteAside(aside);
                whole += "aside: " + aside + "\r\n";
                EXPECT_EQ(fault.Hits(), 51);
                EXPECT_TRUE(manager.LogLost());
                EXPECT_EQ(FileBytes(FLog), before);
            }
            ASSERT_EQ(told.size(), 1u);
            EXPECT_EQ(told[0].rfind("Could not write " + FLog +
                                        ": No space left on device. Drawing goes on, but the "
                                        "undo files of this session will not be cleaned up",
                                    0),
                      0u)
                << told[0];
            // Space is back: the next name writes the log whole.
            names.push_back(manager.GetTempFileName(".bmp"));
            whole += names.back() + "\r\n";
            EXPECT_FALSE(manager.LogLost());
            EXPECT_EQ(FileBytes(FLog), whole);
            names.push_back(manager.GetTempFileName("tsk"));
            EXPECT_EQ(FileBytes(FLog), whole + names.back() + "\r\n");
            EXPECT_EQ(manager.Names().Items(), names);
        }
        ASSERT_EQ(told.size(), 2u);
        EXPECT_EQ(told[1], "The temporary-file log " + FLog +
                               " is written again: the undo files of this session will be cleaned up "
                               "after a crash.");
        EXPECT_EQ(kinds, (std::vector{TTempManager::TNotice::Trouble, TTempManager::TNotice::Relief}));
        EXPECT_EQ(FilesIn(FTmp), 0u);
        EXPECT_FALSE(fs::exists(FLog));
    }
}

TEST_F(TempManagerTest, ANameWhoseFileCannotBeMadeLeavesNeitherFileNorLine) {
    TTempManager manager;
    const std::string first = manager.GetTempFileName("tsk");
    const std::string log = FileBytes(FLog);
    std::string message;
    {
        TWriteFaultScope full(TFaultPoint::fpCreate, 0, ENOSPC, FTmp);
        try {
            manager.GetTempFileName(".bmp");
        } catch (const Exception& e) {
            message = e.what();
        }
    }
    EXPECT_EQ(message, "Cannot create a temporary file in \"" + FTmp + "\". No space left on device");
    EXPECT_EQ(FileBytes(FLog), log);
    EXPECT_EQ(manager.Names().Items(), std::vector<std::string>{first});
    EXPECT_FALSE(manager.LogLost());
    EXPECT_EQ(FilesIn(FTmp), 1u);
}

TEST_F(TempManagerTest, AnEndedCopysFilesAreCleanedInTheFolderItsLogNames) {
    const std::string otherTmp = FRoot / "other-tmp/";
    fs::create_directory(otherTmp);
    std::vector<std::string> left;
    {
        TScopedEnv tmp("TMPDIR", otherTmp);
        TOtherCopy crashed(3);
        left = crashed.Names;
        crashed.Kill();
    }
    WriteText(otherTmp + "~0badcafe.txt", "not our form");
    WriteText(otherTmp + "~0badcafe.bmp", "ours, but not logged");
    TTempManager next;
    for (const std::string& name : left)
        EXPECT_FALSE(fs::exists(name)) << name;
    EXPECT_TRUE(fs::exists(otherTmp + "~0badcafe.txt"));
    EXPECT_TRUE(fs::exists(otherTmp + "~0badcafe.bmp"));
}

// A save killed part-way leaves its write-aside file; the next start removes that file only.
TEST_F(TempManagerTest, AKilledSavesWriteAsideFileIsCleanedAtTheNextStart) {
    const std::string pictures = FRoot / "pictures/";
    fs::create_directory(pictures);
    const std::string target = pictures + "draw.bmp";
    WriteText(target, "the saved drawing");
    WriteText(pictures + ".draw.bmp.0badcafe", "not logged: kept");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        TTempManager manager;
        manager.ListWriteAsideFiles();
        TAtomicFileStream file(target);
        file.WriteBuffer("half a draw", 11);
        file.Flush();
        (void)!write(ready[1], "x", 1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char x = 0;
    ASSERT_EQ(read(ready[0], &x, 1), 1);
    close(ready[0]);
    // The save's file is beside the target, and the copy's log names it.
    std::string aside;
    for (const auto& entry : fs::directory_iterator(pictures))
        if (entry.path().filename() != "draw.bmp" && entry.path().filename() != ".draw.bmp.0badcafe")
            aside = entry.path().string();
    ASSERT_FALSE(aside.empty());
    const std::string log = FState + "TempManager-" + std::to_string(pid) + ".log";
    EXPECT_EQ(Lines(log), std::vector<std::string>{"aside: " + aside});
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    // A damaged line naming another file of the folder does not delete it.
    WriteText(FState + "TempManager-999999997.log", "aside: " + target + "\r\naside: draw.bmp.12345678\r\n");
    TTempManager next;
    EXPECT_FALSE(fs::exists(aside));
    EXPECT_FALSE(fs::exists(log));
    EXPECT_EQ(FileBytes(target), "the saved drawing");
    EXPECT_TRUE(fs::exists(pictures + ".draw.bmp.0badcafe"));
}

// The same as the fault seam stands in for, on a real full state folder where one can be made:
// the log is lost while the folder is full, written whole at the first name once space is back,
// and a copy killed then leaves nothing that the next start does not clean.
TEST_F(TempManagerTest, AFullStateFolderLosesTheLogUntilSpaceReturnsThenACrashLeavesNothing) {
    if (mount("tmpfs", FState.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0)
        QUOR_ALLOWED_SKIP() << "no tmpfs can be mounted here (" << std::strerror(errno) << ")";
    // Unmounted however the test ends, so that its folder can go.
    struct TUnmount {
        std::string Path;
        ~TUnmount() { umount2(Path.c_str(), MNT_DETACH); }
    } unmount{FState};
    const std::string aside = FRoot / ".draw.bmp.0badcafe";
    const std::string filler = FState + "filler";
    std::vector<std::string> lines;
    std::string log;
    {
        TOtherCopy crashed([&](TTempManager& Manager) {
            std::vector<std::string> logged = {"folder: " + FTmp, Manager.GetTempFileName("tsk")};
            {
                // Fill the folder to the last byte.
                std::ofstream fill(filler, std::ios::binary);
                const std::string block(4096, 'f');
                while (fill.write(block.data(), block.size()))
                    ;
            }
            for (int i = 0; i < 200; ++i)
                logged.push_back(Manager.GetTempFileName(i % 2 ? ".bmp" : "tsk"));
            WriteText(aside, "half a drawing");
            Manager.ListWriteAside(aside);
            logged.push_back("aside: " + aside);
            if (!Manager.LogLost()) throw std::runtime_error("the log took every line");
            fs::remove(filler);
            logged.push_back(Manager.GetTempFileName(".bmp"));
            if (Manager.LogLost()) throw std::runtime_error("the log is still lost");
            for (const std::string& line : logged)
                if (line.front() == '/') WriteText(line, "data of a step");
            return logged;
        });
        log = crashed.Log;
        lines = crashed.Names;
        EXPECT_EQ(Lines(log), lines);
        crashed.Kill();
    }
    {
        TTempManager next;
        EXPECT_FALSE(fs::exists(log));
        EXPECT_FALSE(fs::exists(aside));
        EXPECT_EQ(FilesIn(FTmp), 0u);
    }
}

// A temporary folder removed during the session (by a cleaner of old files), or never made, is
// made for this user only, and the user is told each time; the log says where the names are.
TEST_F(TempManagerTest, AMissingTemporaryFolderIsMadeForThisUserOnlyAndSaidOnce) {
    std::vector<std::string> told;
    TTempManager manager;
    manager.SetNoticeHook(
        [&](const std::string& Message, TTempManager::TNotice) { told.push_back(Message); });
    const std::string first = manager.GetTempFileName("tsk");
    fs::remove_all(FTmp);
    const std::string second = manager.GetTempFileName(".bmp");
    const std::string third = manager.GetTempFileName("tsk");
    const std::string never = FRoot / "never/";
    std::string fourth;
    {
        TScopedEnv tmp("TMPDIR", never);
        fourth = manager.GetTempFileName(".bmp");
    }
    for (const auto& [name, folder] :
         {std::pair{second, FTmp}, std::pair{third, FTmp}, std::pair{fourth, never}}) {
        EXPECT_EQ(name.substr(0, folder.size()), folder);
        EXPECT_TRUE(fs::is_regular_file(name)) << name;
    }
    for (const std::string& folder : {FTmp, never})
        EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all) << folder;
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0], "The temporary folder \"" + FTmp +
                           "\" did not exist, so it was made, open to this user only. Drawing goes on.");
    EXPECT_EQ(told[1], "The temporary folder \"" + never +
                           "\" did not exist, so it was made, open to this user only. Drawing goes on.");
    EXPECT_EQ(Lines(FLog), (std::vector<std::string>{"folder: " + FTmp, first, second, third,
                                                     "folder: " + never, fourth}));
}

// A temporary folder that cannot be made gives way to /tmp until it can; a crash then leaves
// nothing there either.
TEST_F(TempManagerTest, ATemporaryFolderThatCannotBeMadeGivesWayToTmpUntilItCan) {
    WriteText(FRoot / "blocked", "a file where a folder should be");
    const std::string blocked = FRoot / "blocked/tmp/";
    TScopedEnv tmp("TMPDIR", blocked);
    std::vector<std::string> left;
    {
        TOtherCopy crashed(2);
        left = crashed.Names;
        crashed.Kill();
    }
    std::vector<std::string> told;
    std::vector<TTempManager::TNotice> kinds;
    TTempManager manager;
    for (const std::string& name : left)
        EXPECT_FALSE(fs::exists(name)) << name;
    manager.SetNoticeHook([&](const std::string& Message, TTempManager::TNotice Kind) {
        told.push_back(Message);
        kinds.push_back(Kind);
    });
    const std::string first = manager.GetTempFileName("tsk");
    const std::string second = manager.GetTempFileName(".bmp");
    for (const std::string& name : {left[0], left[1], first, second})
        EXPECT_EQ(name.rfind("/tmp/~", 0), 0u) << name;
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], "The temporary folder \"" + blocked +
                           "\" cannot be used (Not a directory), so the undo files go to \"/tmp/\" for "
                           "now. Drawing goes on.");
    // Once the folder can be made, names go there again.
    fs::remove(FRoot / "blocked");
    fs::create_directory(FRoot / "blocked");
    const std::string third = manager.GetTempFileName("tsk");
    EXPECT_EQ(third.substr(0, blocked.size()), blocked);
    EXPECT_EQ(told.size(), 2u);
    // Files that went elsewhere were trouble; the folder made again is not.
    EXPECT_EQ(kinds, (std::vector{TTempManager::TNotice::Trouble, TTempManager::TNotice::Relief}));
    EXPECT_EQ(Lines(FLog),
              (std::vector<std::string>{"folder: /tmp/", first, second, "folder: " + blocked, third}));
    manager.DeleteAll();
    for (const std::string& name : {first, second, third})
        EXPECT_FALSE(fs::exists(name)) << name;
}
