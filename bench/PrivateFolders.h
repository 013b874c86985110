// SPDX-License-Identifier: GPL-3.0-or-later
// Private folders for a benchmark of the document: the temporary folder ($TMPDIR) and the state
// folder ($XDG_STATE_HOME) point below a new folder of its own, so the undo steps' files and the
// temporary-file log never touch the user's and a benchmark counts only its own files.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

// Makes "/tmp/<Prefix>-XXXXXX" with "tmp" and "state" below it and points the two folders there;
// the whole folder goes at exit. Call it before anything asks for a temporary name; an exit
// handler registered later runs while the folder is still there. Returns the folder, or an
// empty string when it cannot be made.
inline std::string UsePrivateFolders(const std::string& Prefix) {
    static std::string root;
    std::string pattern = "/tmp/" + Prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return {};
    root = pattern;
    std::filesystem::create_directories(root + "/tmp");
    setenv("TMPDIR", (root + "/tmp").c_str(), 1);
    setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    });
    return root;
}
