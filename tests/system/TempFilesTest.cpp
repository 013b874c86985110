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
    }
    fs::create_directory_symlink(own, dir / "link");
    EXPECT_FALSE(MakePrivateFolder(dir / "link/"));
    fs::create_directory(dir / "open");
    fs::permissions(dir / "open", fs::perms::all);
    EXPECT_FALSE(MakePrivateFolder(dir / "open/"));
    std::ofstream(dir / "file");
    EXPECT_FALSE(MakePrivateFolder(dir / "file/"));
}
