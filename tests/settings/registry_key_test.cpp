#include "settings/registry_key.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>

#include "support/temp_directory.h"

namespace updater {
namespace {

constexpr const char* kAppPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// The registry stand-in of this platform: an INI file named by UPDATER_REGISTRY.
class RegistryKeyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::ofstream(file_) << "\xEF\xBB\xBF"
                             << "[" << kAppPaths << "tool.exe]\r\n"
                             << "@=C:\\Program Files\\Tool\\tool.exe\r\n"
                             << "PATH=\"C:\\Program Files\\Tool\"\r\n"
                             << "[" << kAppPaths << "bare.exe]\r\n"
                             << "@=\r\n"
                             << "[" << kAppPaths << "nopath.exe]\r\n"
                             << "@=D:\\nopath.exe\r\n"
                             << "[" << kAppPaths << "binary.exe]\r\n"
                             << "@=hex:41,42,43\r\n"
                             << "PATH=hex:44,00,45\r\n"
                             << "Empty=hex:\r\n"
                             << "[" << kAppPaths << "empty.exe]\r\n";
        setenv("UPDATER_REGISTRY", file_.c_str(), 1);
    }
    void TearDown() override { unsetenv("UPDATER_REGISTRY"); }

    static std::string Lookup(const char* app, bool wantDefault) {
        String out = "unchanged";
        const bool found = LookupAppPath(app, out, wantDefault);
        return found ? out.CStr() : std::string("false, ") + out.CStr();
    }

    // A directory of its own: tests run in parallel processes, and one's clean-up must not take
    // another's file away.
    testing::TempDirectory directory_;
    std::string file_ = directory_.Native("registry.ini");
};

TEST_F(RegistryKeyTest, AppPathsGiveTheDefaultValueAndPath) {
    EXPECT_EQ(Lookup("tool.exe", true), "C:\\Program Files\\Tool\\tool.exe");
    EXPECT_EQ(Lookup("tool.exe", false), "C:\\Program Files\\Tool");
    EXPECT_EQ(Lookup("TOOL.EXE", true), "C:\\Program Files\\Tool\\tool.exe");
}

TEST_F(RegistryKeyTest, MissingKeysAndValuesLeaveTheOutputUnchanged) {
    EXPECT_EQ(Lookup("nopath.exe", false), "false, unchanged");
    EXPECT_EQ(Lookup("none.exe", true), "false, unchanged");
    EXPECT_EQ(Lookup("none.exe", false), "false, unchanged");
    EXPECT_EQ(Lookup("empty.exe", true), "false, unchanged");
    EXPECT_EQ(Lookup("", true), "false, unchanged");
}

TEST_F(RegistryKeyTest, WithoutTheRegistryNothingIsFound) {
    unsetenv("UPDATER_REGISTRY");
    EXPECT_EQ(Lookup("tool.exe", true), "false, unchanged");
    setenv("UPDATER_REGISTRY", (file_ + ".missing").c_str(), 1);
    EXPECT_EQ(Lookup("tool.exe", true), "false, unchanged");
}

TEST_F(RegistryKeyTest, DataWithoutATerminatorEndsInsideItsBlock) {
    RegKey key(platform::LocalMachineRoot(), (std::string(kAppPaths) + "binary.exe").c_str());
    ASSERT_TRUE(key.Open(platform::kKeyRead));
    EXPECT_EQ(key.GetValueSize(""), 3u);
    String out;
    ASSERT_TRUE(key.QueryValue("", out));
    EXPECT_STREQ(out.CStr(), "ABC");
    // Data is copied as stored; as text it ends at its first NUL.
    ASSERT_TRUE(key.QueryValue("PATH", out));
    EXPECT_STREQ(out.CStr(), "D");
    // An empty string is its terminator alone; no data at all is no value.
    EXPECT_EQ(Lookup("bare.exe", true), "");
    out = "kept";
    EXPECT_EQ(key.GetValueSize("Empty"), 0u);
    EXPECT_FALSE(key.QueryValue("Empty", out));
    EXPECT_STREQ(out.CStr(), "kept");
}

TEST_F(RegistryKeyTest, AKeyIsReadOnlyWhileOpen) {
    const std::string path = std::string(kAppPaths) + "tool.exe";
    RegKey key(platform::LocalMachineRoot(), path.c_str());
    String out = "kept";
    EXPECT_EQ(key.GetValueSize(""), 0u);
    EXPECT_FALSE(key.QueryValue("", out));
    ASSERT_TRUE(key.ReadValue("", out));
    EXPECT_STREQ(out.CStr(), "C:\\Program Files\\Tool\\tool.exe");
    // ReadValue closes the key again.
    EXPECT_EQ(key.GetValueSize(""), 0u);
    ASSERT_TRUE(key.Open(platform::kKeyRead));
    EXPECT_EQ(key.GetValueSize("path"), 22u);  // the text and its terminator
    key.Close();
    EXPECT_EQ(key.GetValueSize("path"), 0u);
}

TEST_F(RegistryKeyTest, OpeningNeedsARootAndReadAccess) {
    const std::string path = std::string(kAppPaths) + "tool.exe";
    RegKey orphan(nullptr, path.c_str());
    EXPECT_FALSE(orphan.Open(platform::kKeyRead));
    RegKey key(platform::LocalMachineRoot(), path.c_str());
    EXPECT_FALSE(key.Open(0x20006));  // KEY_WRITE: the stand-in can only be read
    EXPECT_TRUE(key.Open(0x1));       // KEY_QUERY_VALUE alone
}

TEST_F(RegistryKeyTest, KeysOpenBelowAnOpenKey) {
    std::ofstream(file_, std::ios::app) << "[Software\\Microsoft]\r\n";
    platform::RegistryHandle parent = nullptr;
    ASSERT_TRUE(platform::OpenRegistryKey(platform::LocalMachineRoot(), "software\\microsoft\\",
                                          platform::kKeyRead, parent));
    RegKey key(parent, "Windows\\CurrentVersion\\App Paths\\Tool.exe");
    String out;
    EXPECT_TRUE(key.ReadValue("", out));
    EXPECT_STREQ(out.CStr(), "C:\\Program Files\\Tool\\tool.exe");
    platform::CloseRegistryKey(parent);
}

}  // namespace
}  // namespace updater
