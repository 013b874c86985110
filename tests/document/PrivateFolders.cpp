// Every test of the document points the temporary folder and the state folder at private
// folders, so the process-wide temporary-file service never touches the user's own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {
class TPrivateFolders : public ::testing::Environment {
public:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "quor-document-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        FRoot = pattern;
        std::filesystem::create_directories(FRoot + "/tmp");
        std::filesystem::create_directories(FRoot + "/state");
        setenv("TMPDIR", (FRoot + "/tmp").c_str(), 1);
        setenv("XDG_STATE_HOME", (FRoot + "/state").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(FRoot, ec);
    }

private:
    std::string FRoot;
};

[[maybe_unused]] ::testing::Environment* const gPrivateFolders =
    ::testing::AddGlobalTestEnvironment(new TPrivateFolders);
} // namespace
