#include "core/system_queries.h"

#include <gtest/gtest.h>

#include "platform/overrides.h"
#include "support/script_fixture.h"

namespace updater {
namespace {

TEST(GetDirectoryPart, CutsAtTheLastBackslashUnlessItIsTheFirstCharacter) {
    String out = "unchanged";
    EXPECT_TRUE(GetDirectoryPart("C:\\Tools\\Setup.exe", out));
    EXPECT_STREQ(out.CStr(), "C:\\Tools");
    EXPECT_TRUE(GetDirectoryPart("C:\\Setup.exe", out));
    EXPECT_STREQ(out.CStr(), "C:");
    out = "unchanged";
    EXPECT_FALSE(GetDirectoryPart("\\Setup.exe", out));
    EXPECT_FALSE(GetDirectoryPart("Setup.exe", out));
    EXPECT_FALSE(GetDirectoryPart("C:/Tools/Setup.exe", out));
    EXPECT_STREQ(out.CStr(), "unchanged");
}

TEST(PlatformQueries, FamilyAndSpecialFoldersFollowTheOverrides) {
    EXPECT_TRUE(IsNtPlatform());
    platform::overrides::SetNtFamily(false);
    EXPECT_FALSE(IsNtPlatform());
    platform::overrides::SetNtFamily(std::nullopt);

    String out = "unchanged";
    EXPECT_FALSE(GetSpecialFolder(nullptr, out, 0x7777));
    EXPECT_STREQ(out.CStr(), "unchanged");
    platform::overrides::SetSpecialFoldersMissing(true);
    EXPECT_FALSE(GetSpecialFolder(nullptr, out, 26));
    EXPECT_STREQ(out.CStr(), "unchanged");
    platform::overrides::SetSpecialFoldersMissing(false);
}

using PathExistsTest = testing::ScriptTest;

TEST_F(PathExistsTest, FindsFilesDirectoriesAndPatternsButNotTrailingBackslashes) {
    WriteFile("dirs/only/x.txt", "x");
    EXPECT_TRUE(PathExists(EnginePath("dirs").c_str()));
    EXPECT_FALSE(PathExists((EnginePath("dirs") + "\\").c_str()));
    EXPECT_TRUE(PathExists(EnginePath("dirs\\o*").c_str()));
    EXPECT_TRUE(PathExists(EnginePath("dirs\\only\\*.txt").c_str()));
    EXPECT_FALSE(PathExists(EnginePath("dirs\\*.txt").c_str()));
    EXPECT_FALSE(PathExists(EnginePath("missing\\*").c_str()));
    EXPECT_FALSE(PathExists(""));
}

}  // namespace
}  // namespace updater
