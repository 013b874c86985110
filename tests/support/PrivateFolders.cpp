// SPDX-License-Identifier: GPL-3.0-or-later
// A test program built with this file points the temporary folder, the state folder and the
// application folder at private folders, so the temporary-file service and the preset managers
// never touch the user's own files or the presets beside the test program.
#include "platform/system/ApplicationFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {
class TPrivateFolders : public ::testing::Environment {
public:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "quor-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        FRoot = pattern;
        for (const char* folder : {"/tmp", "/state", "/application"})
            std::filesystem::create_directories(FRoot + folder);
        setenv("TMPDIR", (FRoot + "/tmp").c_str(), 1);
        setenv("XDG_STATE_HOME", (FRoot + "/state").c_str(), 1);
        SetApplicationFolder(FRoot + "/application/");
    }
    void TearDown() override {
        SetApplicationFolder("");
        std::error_code ec;
        std::filesystem::remove_all(FRoot, ec);
    }

private:
    std::string FRoot;
};

[[maybe_unused]] ::testing::Environment* const gPrivateFolders =
    ::testing::AddGlobalTestEnvironment(new TPrivateFolders);
} // namespace
