#include "platform/system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/overrides.h"
#include "platform/posix/native_path-posix.h"
#include "platform/posix/scoped_environment.h"

namespace updater::platform {
namespace {

using posix::test_support::ScopedVariable;
using posix::test_support::TemporaryDirectory;

std::string ReadFile(const std::string& nativePath) {
    std::ifstream file(nativePath, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(ModulePath, IsAbsoluteWithBackslashes) {
    std::string path = GetModulePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '\\');
    EXPECT_EQ(path.find('/'), std::string::npos);
    struct stat status {};
    EXPECT_EQ(stat(posix::ToNativePath(path).c_str(), &status), 0);
}

TEST(SystemDirectories, AreFixedStandInsInEngineForm) {
    EXPECT_EQ(GetWindowsDirectoryPath(), "\\etc");
    EXPECT_EQ(GetSystemDirectoryPath(), "\\usr\\lib");
}

TEST(NtFamily, IsTrueUnlessOverridden) {
    EXPECT_TRUE(IsNtFamily());
    overrides::SetNtFamily(false);
    EXPECT_FALSE(IsNtFamily());
    overrides::SetNtFamily(true);
    EXPECT_TRUE(IsNtFamily());
    overrides::SetNtFamily(std::nullopt);
    EXPECT_TRUE(IsNtFamily());
}

TEST(EnvironmentText, TellsUnsetFromEmpty) {
    ScopedVariable variable("UPDATER_SYSTEM_TEST_VALUE", std::nullopt);
    std::string value = "untouched";
    EXPECT_FALSE(GetEnvironmentText("UPDATER_SYSTEM_TEST_VALUE", value));
    EXPECT_EQ(value, "untouched");
    setenv("UPDATER_SYSTEM_TEST_VALUE", "", 1);
    EXPECT_TRUE(GetEnvironmentText("UPDATER_SYSTEM_TEST_VALUE", value));
    EXPECT_EQ(value, "");
    setenv("UPDATER_SYSTEM_TEST_VALUE", "yes, no", 1);
    EXPECT_TRUE(GetEnvironmentText("UPDATER_SYSTEM_TEST_VALUE", value));
    EXPECT_EQ(value, "yes, no");
}

TEST(AppendToFile, CreatesThenAppends) {
    TemporaryDirectory directory;
    std::string path = posix::FromNativePath(directory.path() + "/run.log");
    EXPECT_TRUE(AppendToFile(path, "first\n"));
    EXPECT_TRUE(AppendToFile(path, ""));
    EXPECT_TRUE(AppendToFile(path, std::string("sec\0ond\n", 8)));
    EXPECT_EQ(ReadFile(directory.path() + "/run.log"), std::string("first\nsec\0ond\n", 14));
}

TEST(AppendToFile, FailsWhereNoFileCanBeWritten) {
    TemporaryDirectory directory;
    EXPECT_FALSE(AppendToFile(posix::FromNativePath(directory.path() + "/missing/run.log"), "x"));
    EXPECT_FALSE(AppendToFile(posix::FromNativePath(directory.path()), "x"));
    EXPECT_FALSE(AppendToFile("", "x"));
}

// A drive has no meaning on Linux: the log is not written to "./C:/run.log".
TEST(AppendToFile, PathsWithADriveNameNoFile) {
    TemporaryDirectory directory;
    ASSERT_EQ(mkdir((directory.path() + "/C:").c_str(), 0777), 0);
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(directory.path());
    const bool appended = AppendToFile("C:\\run.log", "x");
    std::filesystem::current_path(saved);
    EXPECT_FALSE(appended);
    EXPECT_FALSE(std::filesystem::exists(directory.path() + "/C:/run.log"));
}

TEST(ComponentModel, StartsAndStopsWithoutEffect) {
    StartComponentModel();
    StopComponentModel();
}

}  // namespace
}  // namespace updater::platform
