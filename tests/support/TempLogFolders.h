// SPDX-License-Identifier: GPL-3.0-or-later
// What the tests of the temporary-file log and of the service that keeps it share: a test with
// temporary and state folders of its own (and no runtime folder), where this process's log goes,
// whether a running copy holds a log's lock, and a file's text written whole (FileBytes reads it).
#pragma once

#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/WriteFaults.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/file.h>
#include <unistd.h>

inline void WriteText(const std::string& Path, const std::string& Text) {
    std::ofstream(Path, std::ios::binary) << Text;
}

// True when another open of Path can take its lock, that is when no copy holds it.
inline bool Unlocked(const std::string& Path) {
    const int fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
}

class TTempLogFolders : public ::testing::Test {
protected:
    TTestFolder FRoot;
    std::string FTmp = FRoot / "tmp/";
    std::string FState = FRoot / "state/quorvelle/";
    TScopedEnv FTmpEnv{"TMPDIR", FTmp};
    TScopedEnv FStateEnv{"XDG_STATE_HOME", FRoot / "state"};
    TScopedEnv FRuntimeEnv{"XDG_RUNTIME_DIR", nullptr};
    // Where this process's log goes first.
    std::string FLog = FState + "TempManager-" + std::to_string(getpid()) + ".log";

    void SetUp() override {
        std::filesystem::create_directory(FTmp);
        std::filesystem::create_directories(FState);
    }
};
