// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/TempLog.h"

#include "platform/rtl/Streams.h"
#include "platform/system/TempNotices.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempLogFolders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
// What a hook on Notices is told now.
std::vector<std::string> Told(TTempNotices& Notices) {
    std::vector<std::string> told;
    Notices.SetHook([&](const std::string& Message, TTempNotices::TKind) { told.push_back(Message); });
    Notices.Take().Tell();
    Notices.SetHook(nullptr);
    return told;
}

class TempLogTest : public TTempLogFolders {
protected:
    TTempNotices FNotices;
};
} // namespace

TEST_F(TempLogTest, IsMadeLockedAndAppendedToLineByLineTakenBackAndDeleted) {
    fs::create_directory(FLog); // something in the way: the next name is taken
    TTempLog log(FNotices);
    log.Open();
    ASSERT_EQ(log.Path(), FState + "TempManager-" + std::to_string(getpid()) + "-1.log");
    EXPECT_FALSE(log.Lost());
    EXPECT_FALSE(Unlocked(log.Path()));
    EXPECT_TRUE(log.Append({"first", "second"}));
    const size_t size = log.Size();
    EXPECT_TRUE(log.Append({"third"}));
    EXPECT_EQ(FileBytes(log.Path()), "first\r\nsecond\r\nthird\r\n");
    log.TakeBack(size);
    EXPECT_EQ(FileBytes(log.Path()), "first\r\nsecond\r\n");
    log.Delete();
    EXPECT_FALSE(fs::exists(log.Path()));
    EXPECT_FALSE(log.Append({"kept only"}));
    EXPECT_FALSE(fs::exists(log.Path()));
    EXPECT_TRUE(fs::is_directory(FLog));
    EXPECT_TRUE(Told(FNotices).empty());
}

// Logs that no living copy holds are read and go; a living copy's log, logs that are not files
// and other names stay.
TEST_F(TempLogTest, EndedLogsAreGivenToTheCleanerAndGoWhateverElseIsThere) {
    TTempLog living(FNotices);
    living.Open();
    living.Append({"a living copy's name"});
    {
        TTempLog ended(FNotices);
        ended.Open();
        ended.Append({"an ended copy's name"});
        // Let go without being deleted, as at a crash.
    }
    WriteText(FState + "TempManager-999999999.log", "one\r\ntwo\r\n");
    WriteText(FState + "TempManager-x.log", "not a log's name\r\n");
    fs::create_directory(FState + "TempManager-999999997.log");
    ASSERT_EQ(mkfifo((FState + "TempManager-999999998.log").c_str(), 0600), 0);
    std::vector<std::vector<std::string>> given;
    testing::internal::CaptureStderr();
    TTempLog::TakeEndedLogs([&](const TStringList& Lines) { given.push_back(Lines.Items()); });
    const std::string err = testing::internal::GetCapturedStderr();
    std::sort(given.begin(), given.end());
    EXPECT_EQ(given, (std::vector<std::vector<std::string>>{{"an ended copy's name"}, {"one", "two"}}));
    EXPECT_EQ(FileBytes(living.Path()), "a living copy's name\r\n");
    EXPECT_FALSE(fs::exists(FState + "TempManager-999999999.log"));
    EXPECT_TRUE(fs::exists(FState + "TempManager-x.log"));
    for (const char* name : {"TempManager-999999997.log", "TempManager-999999998.log"}) {
        EXPECT_TRUE(fs::exists(FState + name)) << name;
        EXPECT_NE(err.find(FState + name + " is not a file"), std::string::npos) << err;
    }
}

// A full disk loses the log until it takes lines again; deleted or put aside, it is made again
// under its name, or taken back when the file it was has that name again. Each time it then holds
// every line, and the user hears of a loss once and of its end once.
TEST_F(TempLogTest, ALostOrVanishedLogIsWrittenAgainWholeAndToldOnce) {
    TTempLog log(FNotices);
    log.Open();
    std::string whole;
    const auto append = [&](const std::string& Line) {
        whole += Line + "\r\n";
        return log.Append({Line});
    };
    append("before");
    {
        TWriteFaultScope full(TFaultPoint::fpWrite, static_cast<int64_t>(whole.size()) + 4, ENOSPC, FState);
        EXPECT_FALSE(append("a line that does not fit"));
        EXPECT_FALSE(append("another"));
        EXPECT_TRUE(log.Lost());
        EXPECT_EQ(FileBytes(FLog), "before\r\n");
    }
    EXPECT_EQ(Told(FNotices), std::vector<std::string>{"Could not write " + FLog +
                                                       ": No space left on device. Drawing goes on, but the "
                                                       "undo files of this session will not be cleaned up if "
                                                       "the program ends without exit (a crash)."});
    EXPECT_TRUE(append("space is back"));
    EXPECT_FALSE(log.Lost());
    EXPECT_EQ(FileBytes(FLog), whole);
    EXPECT_EQ(Told(FNotices), std::vector<std::string>{"The temporary-file log " + FLog +
                                                       " is written again: the undo files of this session "
                                                       "will be cleaned up after a crash."});

    // Deleted with its folder (a cleaner of old files).
    fs::remove_all(FRoot / "state");
    EXPECT_TRUE(append("after a cleaner"));
    EXPECT_EQ(FileBytes(FLog), whole);
    EXPECT_FALSE(Unlocked(FLog));

    // Put aside, with something else in its place: lost; the file put aside stays locked.
    struct stat aside {};
    ASSERT_EQ(stat(FLog.c_str(), &aside), 0);
    fs::rename(FLog, FLog + ".kept");
    fs::create_directory(FLog);
    EXPECT_FALSE(append("while aside"));
    EXPECT_TRUE(log.Lost());
    EXPECT_EQ(Told(FNotices),
              std::vector<std::string>{"Could not write " + FLog +
                                       ": something else took its place. Drawing goes on, but the undo files "
                                       "of this session will not be cleaned up if the program ends without "
                                       "exit (a crash)."});
    EXPECT_FALSE(Unlocked(FLog + ".kept"));
    // The name free again: made again.
    fs::remove(FLog);
    EXPECT_TRUE(append("made again"));
    EXPECT_EQ(FileBytes(FLog), whole);
    EXPECT_EQ(Told(FNotices).size(), 1u);
    EXPECT_FALSE(Unlocked(FLog + ".kept"));
    // The file put aside back at its name: taken back, whole.
    fs::rename(FLog + ".kept", FLog);
    EXPECT_TRUE(append("back"));
    EXPECT_EQ(FileBytes(FLog), whole);
    struct stat back {};
    ASSERT_EQ(stat(FLog.c_str(), &back), 0);
    EXPECT_EQ(back.st_ino, aside.st_ino);
    EXPECT_FALSE(Unlocked(FLog));
    EXPECT_TRUE(Told(FNotices).empty());
}

// With the state folder taking nothing, the log goes to $XDG_RUNTIME_DIR, then to the temporary
// folder, never to the current directory; ended copies' logs are taken there too.
TEST_F(TempLogTest, FallsBackToTheRuntimeThenTheTemporaryFolder) {
    const std::string runtime = FRoot / "run/";
    const std::string ownTmp = FTmp + "quorvelle-" + std::to_string(geteuid()) + "/";
    fs::create_directory(runtime);
    TScopedEnv runtimeEnv("XDG_RUNTIME_DIR", runtime);
    const fs::path cwd = fs::current_path();
    fs::create_directory(FRoot / "cwd");
    fs::current_path(FRoot / "cwd");
    fs::remove_all(FRoot / "state");
    WriteText(FRoot / "state", "a file where the state folder would go");
    {
        TTempLog ended(FNotices);
        ended.Open();
        EXPECT_EQ(ended.Path().rfind(runtime + "quorvelle/TempManager-", 0), 0u) << ended.Path();
        ended.Append({"a name"});
    }
    std::vector<std::vector<std::string>> given;
    TTempLog::TakeEndedLogs([&](const TStringList& Lines) { given.push_back(Lines.Items()); });
    EXPECT_EQ(given, std::vector<std::vector<std::string>>{{"a name"}});
    fs::remove_all(runtime + "quorvelle");
    WriteText(runtime + "quorvelle", "in the way too");
    {
        TTempLog log(FNotices);
        log.Open();
        EXPECT_EQ(log.Path().rfind(ownTmp + "TempManager-", 0), 0u) << log.Path();
        EXPECT_EQ((fs::status(ownTmp).permissions() & fs::perms::all), fs::perms::owner_all);
        EXPECT_FALSE(log.Lost());
    }
    fs::remove_all(ownTmp);
    WriteText(ownTmp.substr(0, ownTmp.size() - 1), "and in the way here");
    {
        testing::internal::CaptureStderr();
        TTempLog log(FNotices);
        log.Open();
        EXPECT_FALSE(log.Append({"a name"}));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(log.Path(), "");
        EXPECT_TRUE(log.Lost());
        EXPECT_NE(err.find("will not be cleaned up"), std::string::npos) << err;
        EXPECT_EQ(Told(FNotices).size(), 1u);
        EXPECT_TRUE(fs::is_empty(FRoot / "cwd"));
    }
    fs::current_path(cwd);
}
