// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/TempFiles.h"
#include "platform/system/StateFolder.h"

#include "platform/rtl/Exception.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

TEST(TempFolder, TmpdirElseSlashTmp) {
    TTestFolder dir;
    {
        TScopedEnv env("TMPDIR", dir.Path().substr(0, dir.Path().size() - 1));
        EXPECT_EQ(TempFolder(), dir.Path());
    }
    {
        TScopedEnv env("TMPDIR", nullptr);
        EXPECT_EQ(TempFolder(), "/tmp/");
    }
    {
        TScopedEnv env("TMPDIR", "");
        EXPECT_EQ(TempFolder(), "/tmp/");
    }
    {
        TScopedEnv env("TMPDIR", "relative");
        EXPECT_EQ(TempFolder(), fs::current_path().string() + "/relative/");
    }
}

TEST(CreateUniqueFile, ReservesDistinctNamesWithAnExclusiveCreate) {
    TTestFolder dir;
    std::set<std::string> names;
    for (int i = 0; i < 200; ++i) {
        const std::string name = CreateUniqueFile(dir.Path(), "~", i % 2 ? ".bmp" : "tsk");
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_TRUE(fs::is_regular_file(name));
        EXPECT_EQ(fs::file_size(name), 0u);
        const std::string base = name.substr(dir.Path().size());
        EXPECT_TRUE(std::regex_match(base, std::regex(i % 2 ? "~[0-9a-f]+\\.bmp" : "~[0-9a-f]+tsk"))) << base;
    }
    EXPECT_THROW(CreateUniqueFile(dir / "missing", "~", "tsk"), Exception);
}

TEST(UserStateFolder, XdgStateHomeElseHomeLocalState) {
    TTestFolder dir;
    {
        TScopedEnv xdg("XDG_STATE_HOME", dir / "state");
        EXPECT_EQ(UserStateFolder(), dir / "state/quorvelle/");
        EXPECT_TRUE(fs::is_directory(dir / "state/quorvelle"));
    }
    {
        TScopedEnv xdg("XDG_STATE_HOME", "not/absolute");
        TScopedEnv home("HOME", dir / "home");
        EXPECT_EQ(UserStateFolder(), dir / "home/.local/state/quorvelle/");
        EXPECT_TRUE(fs::is_directory(dir / "home/.local/state/quorvelle"));
    }
    {
        // A file where the folder should be: no folder.
        std::ofstream(dir / "blocked");
        TScopedEnv xdg("XDG_STATE_HOME", dir / "blocked");
        EXPECT_EQ(UserStateFolder(), "");
    }
}

TEST(FallbackStateFolders, RuntimeThenAPrivateFolderInTheTemporaryFolder) {
    TTestFolder dir;
    TScopedEnv tmp("TMPDIR", dir.Path());
    const std::string own = dir / ("quorvelle-" + std::to_string(geteuid()) + "/");
    {
        TScopedEnv runtime("XDG_RUNTIME_DIR", dir / "run");
        EXPECT_EQ(FallbackStateFolders(), (std::vector<std::string>{dir / "run/quorvelle/", own}));
    }
    {
        TScopedEnv runtime("XDG_RUNTIME_DIR", "run");
        EXPECT_EQ(FallbackStateFolders(), std::vector<std::string>{own});
    }
    EXPECT_FALSE(fs::exists(own)); // paths only
    EXPECT_TRUE(MakePrivateFolder(own));
    EXPECT_EQ(fs::status(own).permissions() & fs::perms::all, fs::perms::owner_all);
    // In a shared folder, what another user or a link put there first is not taken.
    fs::create_directory(dir / "theirs");
    if (geteuid() == 0) {
        ASSERT_EQ(chown((dir / "theirs").c_str(), 65534, 65534), 0);
        EXPECT_FALSE(MakePrivateFolder(dir / "theirs/"));
        // Another user's link where the temporary folder was: nothing is made through it.
        fs::create_directory(dir / "elsewhere");
        fs::create_directory_symlink(dir / "elsewhere", dir / "planted");
        ASSERT_EQ(lchown((dir / "planted").c_str(), 65534, 65534), 0);
        EXPECT_FALSE(MakePrivateFolder(dir / "planted/quorvelle-0/"));
        EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
    }
    fs::create_directory_symlink(own, dir / "link");
    EXPECT_FALSE(MakePrivateFolder(dir / "link/"));
    fs::create_directory(dir / "open");
    fs::permissions(dir / "open", fs::perms::all);
    EXPECT_FALSE(MakePrivateFolder(dir / "open/"));
    std::ofstream(dir / "file");
    EXPECT_FALSE(MakePrivateFolder(dir / "file/"));
}

// The temporary folder as the temporary-file service takes it: made when nothing is at its name,
// else the fall-back folder; never through a stranger's link, never another user's folder.
TEST(TempFolderKeeper, MakesAMissingFolderPrivateAndFallsBackOnlyToAFolderNoStrangerControls) {
    TTestFolder dir;
    const std::string fallback = dir / "fallback/";
    fs::create_directory(fallback);
    auto folderFor = [&](const std::string& Tmp, std::string& Notice) {
        TScopedEnv env("TMPDIR", Tmp);
        TTempFolderKeeper keeper(fallback);
        Notice.clear();
        return keeper.Folder(Notice);
    };
    std::string notice;
    // Nothing at the name, in a folder of this user: made, 0700 whatever the umask.
    const mode_t mask = umask(0);
    EXPECT_EQ(folderFor(dir / "made", notice), dir / "made/");
    umask(mask);
    EXPECT_EQ(fs::status(dir / "made").permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_NE(notice.find("did not exist, so it was made"), std::string::npos) << notice;
    // A link that leads nowhere: neither followed nor made through.
    fs::create_symlink(dir / "target", dir / "dangling");
    EXPECT_EQ(folderFor(dir / "dangling", notice), fallback);
    EXPECT_FALSE(fs::exists(dir / "target"));
    EXPECT_NE(notice.find("a link that leads nowhere"), std::string::npos) << notice;
    // Not made inside a folder anyone may write that keeps no files to their owners.
    fs::create_directory(dir / "open");
    fs::permissions(dir / "open", fs::perms::all);
    EXPECT_EQ(folderFor(dir / "open/tmp", notice), fallback);
    EXPECT_FALSE(fs::exists(dir / "open/tmp"));
    EXPECT_EQ(folderFor(dir / "open", notice), fallback);
    // Sticky, as /tmp is: taken.
    fs::permissions(dir / "open", fs::perms::all | fs::perms::sticky_bit);
    EXPECT_EQ(folderFor(dir / "open", notice), dir / "open/");
    EXPECT_EQ(folderFor(dir / "open/tmp", notice), dir / "open/tmp/");
    if (geteuid() == 0) {
        // Another user's folder, or another user's link to a folder of ours, where the folder was.
        fs::create_directory(dir / "theirs");
        ASSERT_EQ(chown((dir / "theirs").c_str(), 65534, 65534), 0);
        EXPECT_EQ(folderFor(dir / "theirs", notice), fallback);
        EXPECT_NE(notice.find("another user controls it"), std::string::npos) << notice;
        fs::create_directory_symlink(dir / "made", dir / "their-link");
        ASSERT_EQ(lchown((dir / "their-link").c_str(), 65534, 65534), 0);
        EXPECT_EQ(folderFor(dir / "their-link", notice), fallback);
        EXPECT_EQ(folderFor(dir / "their-link/sub", notice), fallback);
        EXPECT_FALSE(fs::exists(dir / "made/sub"));
    }
    // A fall-back folder anyone may write is no way out either: the folder stays, and saying
    // why is left to the file that cannot be made there.
    fs::permissions(fallback, fs::perms::all);
    EXPECT_EQ(folderFor(dir / "dangling", notice), dir / "dangling/");
    EXPECT_EQ(notice, "");
}

TEST(TempFolderKeeper, TellsOfTheFallBackOnceUntilTheFolderIsBack) {
    TTestFolder dir;
    const std::string fallback = dir / "fallback/";
    fs::create_directory(fallback);
    std::ofstream(dir / "file");
    TScopedEnv env("TMPDIR", dir / "file/tmp");
    TTempFolderKeeper keeper(fallback);
    std::vector<std::string> notices;
    auto next = [&] {
        std::string notice;
        const std::string folder = keeper.Folder(notice);
        if (!notice.empty()) notices.push_back(notice);
        return folder;
    };
    EXPECT_EQ(next(), fallback);
    EXPECT_EQ(next(), fallback);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], "The temporary folder \"" + dir / "file/tmp/" +
                              "\" cannot be used (Not a directory), so the undo files go to \"" + fallback +
                              "\" for now. Drawing goes on.");
    fs::remove(dir / "file");
    fs::create_directories(dir / "file/tmp");
    EXPECT_EQ(next(), dir / "file/tmp/");
    fs::remove_all(dir / "file");
    std::ofstream(dir / "file");
    EXPECT_EQ(next(), fallback);
    EXPECT_EQ(notices.size(), 2u);
}
