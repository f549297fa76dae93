#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/overrides.h"
#include "platform/posix/internal-posix.h"
#include "platform/posix/scoped_environment.h"
#include "platform/system.h"

namespace updater::platform {
namespace {

using posix::test_support::ScopedVariable;
using posix::test_support::TemporaryDirectory;

// Every lookup runs against a made-up home with its own configuration directory.
class SpecialFolders : public ::testing::Test {
  protected:
    void WriteUserDirs(const std::string& text) {
        std::ofstream(config_ + "/user-dirs.dirs") << text;
    }

    // The folder as a native path, or "<failed>".
    std::string Lookup(int csidl) {
        std::string path;
        if (!GetSpecialFolderPath(csidl, path)) {
            return "<failed>";
        }
        EXPECT_EQ(path.find('/'), std::string::npos);
        return posix::ToNativePath(path);
    }

    ~SpecialFolders() override { overrides::SetSpecialFoldersMissing(false); }

    TemporaryDirectory home_;
    std::string config_ = home_.path();
    ScopedVariable homeVariable_{"HOME", home_.path()};
    ScopedVariable configHome_{"XDG_CONFIG_HOME", config_};
    ScopedVariable dataHome_{"XDG_DATA_HOME", std::nullopt};
};

TEST_F(SpecialFolders, UserDirectoriesComeFromUserDirsFile) {
    WriteUserDirs(
        "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n"
        "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n"
        "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    EXPECT_EQ(Lookup(0), home_.path() + "/Bureau");
    EXPECT_EQ(Lookup(16), home_.path() + "/Bureau");
    EXPECT_EQ(Lookup(25), home_.path() + "/Bureau");
    EXPECT_EQ(Lookup(5), "/srv/docs");
    EXPECT_EQ(Lookup(39), home_.path() + "/Bilder");
}

TEST_F(SpecialFolders, UserDirectoriesDefaultBelowHome) {
    EXPECT_EQ(Lookup(16), home_.path() + "/Desktop");
    EXPECT_EQ(Lookup(5), home_.path() + "/Documents");
    EXPECT_EQ(Lookup(13), home_.path() + "/Music");
    EXPECT_EQ(Lookup(14), home_.path() + "/Videos");
    EXPECT_EQ(Lookup(21), home_.path() + "/Templates");
    EXPECT_EQ(Lookup(40), home_.path());
}

TEST_F(SpecialFolders, BaseDirectoriesFollowTheirVariables) {
    EXPECT_EQ(Lookup(26), config_);
    EXPECT_EQ(Lookup(7), config_ + "/autostart");
    EXPECT_EQ(Lookup(28), home_.path() + "/.local/share");
    EXPECT_EQ(Lookup(2), home_.path() + "/.local/share/applications");
    setenv("XDG_DATA_HOME", "/data/tester", 1);
    EXPECT_EQ(Lookup(28), "/data/tester");
    EXPECT_EQ(Lookup(11), "/data/tester/applications");
}

TEST_F(SpecialFolders, SystemWideFoldersAreFixed) {
    EXPECT_EQ(Lookup(23), "/usr/share/applications");
    EXPECT_EQ(Lookup(22), "/usr/share/applications");
    EXPECT_EQ(Lookup(24), "/etc/xdg/autostart");
    EXPECT_EQ(Lookup(35), "/etc/xdg");
    EXPECT_EQ(Lookup(38), "/opt");
    EXPECT_EQ(Lookup(36), "/etc");
    EXPECT_EQ(Lookup(37), "/usr/lib");
    EXPECT_EQ(Lookup(41), "/usr/lib");
    EXPECT_EQ(Lookup(42), "/opt");
    EXPECT_EQ(Lookup(20), "/usr/share/fonts");
    EXPECT_EQ(Lookup(46), "/usr/share/doc");
}

TEST_F(SpecialFolders, UnknownAndVirtualFoldersFailAndLeaveThePathAlone) {
    for (int csidl : {-1, 1, 3, 4, 10, 17, 18, 47, 0x8001, 0x10010}) {
        std::string path = "before";
        EXPECT_FALSE(GetSpecialFolderPath(csidl, path)) << csidl;
        EXPECT_EQ(path, "before");
    }
}

TEST_F(SpecialFolders, FlagBitsAreIgnored) {
    EXPECT_EQ(Lookup(0x8000 | 16), home_.path() + "/Desktop");
    EXPECT_EQ(Lookup(0x4000 | 23), "/usr/share/applications");
}

TEST_F(SpecialFolders, OverrideMakesEveryLookupFail) {
    overrides::SetSpecialFoldersMissing(true);
    std::string path = "before";
    EXPECT_FALSE(GetSpecialFolderPath(16, path));
    EXPECT_FALSE(GetSpecialFolderPath(23, path));
    EXPECT_EQ(path, "before");
    overrides::SetSpecialFoldersMissing(false);
    EXPECT_TRUE(GetSpecialFolderPath(23, path));
}

TEST_F(SpecialFolders, NeedNotExistYet) {
    EXPECT_EQ(Lookup(16), home_.path() + "/Desktop");
    std::ifstream desktop(home_.path() + "/Desktop");
    EXPECT_FALSE(desktop.is_open());
}

}  // namespace
}  // namespace updater::platform
