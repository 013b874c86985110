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
        // A file where the folder should be: no folder, so the current directory.
        std::ofstream(dir / "blocked");
        TScopedEnv xdg("XDG_STATE_HOME", dir / "blocked");
        EXPECT_EQ(UserStateFolder(), "");
    }
}
