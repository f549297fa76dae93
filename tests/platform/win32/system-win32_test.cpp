#include <gtest/gtest.h>

#include <string>

#include "platform/dialog.h"
#include "platform/file_system.h"
#include "platform/overrides.h"
#include "platform/system.h"
#include "temp_directory-win32.h"

namespace updater::platform {
namespace {

bool EndsWithNoCase(std::string text, std::string end) {
    for (std::string* s : {&text, &end}) {
        for (char& c : *s) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool IsDirectory(const std::string& path) {
    const uint32_t attributes = GetEntryAttributes(path);
    return attributes != kInvalidAttributes && (attributes & kAttributeDirectory) != 0;
}

TEST(System, NamesTheProgramAndTheSystemDirectories) {
    const std::string module = GetModulePath();
    EXPECT_TRUE(EndsWithNoCase(module, ".exe")) << module;
    EXPECT_NE(GetEntryAttributes(module), kInvalidAttributes);
    EXPECT_TRUE(IsDirectory(GetWindowsDirectoryPath())) << GetWindowsDirectoryPath();
    EXPECT_TRUE(IsDirectory(GetSystemDirectoryPath())) << GetSystemDirectoryPath();
    EXPECT_NE(GetWindowsDirectoryPath().back(), '\\');
}

TEST(System, FamilyIsNtUnlessATestSaysOtherwise) {
    EXPECT_TRUE(IsNtFamily());
    overrides::SetNtFamily(false);
    EXPECT_FALSE(IsNtFamily());
    overrides::SetNtFamily(std::nullopt);
    EXPECT_TRUE(IsNtFamily());
}

TEST(System, SpecialFoldersAreFoundOrLeaveThePathAlone) {
    std::string path = "before";
    ASSERT_TRUE(GetSpecialFolderPath(0x24, path));  // the Windows directory
    EXPECT_EQ(path, GetWindowsDirectoryPath());
    path = "before";
    EXPECT_FALSE(GetSpecialFolderPath(0x7F, path));
    EXPECT_EQ(path, "before");
    overrides::SetSpecialFoldersMissing(true);
    EXPECT_FALSE(GetSpecialFolderPath(0x24, path));
    overrides::SetSpecialFoldersMissing(false);
    EXPECT_EQ(path, "before");
}

TEST(System, EnvironmentTellsEmptyFromMissing) {
    std::string value = "before";
    SetEnvironmentVariableW(L"UPDATER_TEST_VALUE", L"\u30C6\u30B9\u30C8");
    ASSERT_TRUE(GetEnvironmentText("UPDATER_TEST_VALUE", value));
    EXPECT_EQ(value, "テスト");
    SetEnvironmentVariableW(L"UPDATER_TEST_VALUE", L"");
    ASSERT_TRUE(GetEnvironmentText("UPDATER_TEST_VALUE", value));
    EXPECT_EQ(value, "");
    SetEnvironmentVariableW(L"UPDATER_TEST_VALUE", nullptr);
    value = "before";
    EXPECT_FALSE(GetEnvironmentText("UPDATER_TEST_VALUE", value));
    EXPECT_EQ(value, "before");
}

TEST(System, EnvironmentValuesOfAnyLength) {
    const std::wstring longValue(1000, L'x');
    SetEnvironmentVariableW(L"UPDATER_TEST_VALUE", longValue.c_str());
    std::string value;
    ASSERT_TRUE(GetEnvironmentText("UPDATER_TEST_VALUE", value));
    EXPECT_EQ(value, std::string(1000, 'x'));
    SetEnvironmentVariableW(L"UPDATER_TEST_VALUE", nullptr);
}

TEST(System, AppendCreatesAndAppends) {
    win32::TempDirectory dir;
    const std::string log = dir / "ログ.jsonl";
    ASSERT_TRUE(AppendToFile(log, "one\n"));
    ASSERT_TRUE(AppendToFile(log, "two\n"));
    EXPECT_EQ(win32::TempDirectory::Read(log), "one\ntwo\n");
    EXPECT_FALSE(AppendToFile(dir / "missing\\log", "x"));
}

TEST(System, ComponentModelStartsAndStops) {
    StartComponentModel();
    StopComponentModel();
}

}  // namespace
}  // namespace updater::platform
