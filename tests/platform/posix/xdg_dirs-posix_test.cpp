#include "platform/posix/xdg_dirs-posix.h"

#include <gtest/gtest.h>

#include "platform/posix/scoped_environment.h"

namespace updater::platform::posix {
namespace {

using test_support::ScopedVariable;

TEST(JoinPath, PutsOneSlashBetween) {
    EXPECT_EQ(JoinPath("/home/a", "Desktop"), "/home/a/Desktop");
    EXPECT_EQ(JoinPath("/home/a", "/Desktop"), "/home/a/Desktop");
    EXPECT_EQ(JoinPath("/", "Desktop"), "/Desktop");
    EXPECT_EQ(JoinPath("/home/a", ""), "/home/a");
    EXPECT_EQ(JoinPath("/home/a", "/"), "/home/a");
}

TEST(FindUserDirectoryInText, ResolvesHomeAndAbsolutePaths) {
    std::string text =
        "# comment\n"
        "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
        "XDG_MUSIC_DIR=\"/srv/music/\"\n"
        "  XDG_PICTURES_DIR = \"$HOME\"\n"
        "XDG_VIDEOS_DIR=\"$HOME/\"\n";
    EXPECT_EQ(FindUserDirectoryInText(text, "DESKTOP", "/home/a"), "/home/a/Schreibtisch");
    EXPECT_EQ(FindUserDirectoryInText(text, "MUSIC", "/home/a"), "/srv/music");
    EXPECT_EQ(FindUserDirectoryInText(text, "PICTURES", "/home/a"), "/home/a");
    EXPECT_EQ(FindUserDirectoryInText(text, "VIDEOS", "/home/a"), "/home/a");
    EXPECT_EQ(FindUserDirectoryInText(text, "DOCUMENTS", "/home/a"), std::nullopt);
}

TEST(FindUserDirectoryInText, ResolvesEscapesAndTakesTheLastLine) {
    std::string text =
        "XDG_DESKTOP_DIR=\"$HOME/First\"\n"
        "XDG_DESKTOP_DIR=\"$HOME/My \\\"Desk\\\"\"\n";
    EXPECT_EQ(FindUserDirectoryInText(text, "DESKTOP", "/home/a"), "/home/a/My \"Desk\"");
}

TEST(FindUserDirectoryInText, IgnoresInvalidLines) {
    std::string text =
        "XDG_DESKTOP_DIR=\"relative/Desk\"\n"
        "XDG_DESKTOP_DIR=\"$HOMEDesk\"\n"
        "XDG_DESKTOP_DIR=$HOME/Unquoted\n"
        "XDG_DESKTOP_DIR=\"$HOME/Unclosed\n"
        "#XDG_DESKTOP_DIR=\"$HOME/Comment\"\n"
        "XDG_DESKTOP_DIRX=\"$HOME/Other\"\n";
    EXPECT_EQ(FindUserDirectoryInText(text, "DESKTOP", "/home/a"), std::nullopt);
}

TEST(HomeDirectory, TakesAnAbsoluteHomeWithoutTrailingSlash) {
    ScopedVariable home("HOME", "/home/tester/");
    EXPECT_EQ(HomeDirectory(), "/home/tester");
}

TEST(HomeDirectory, FallsBackToThePasswordDatabase) {
    ScopedVariable home("HOME", "relative");
    std::optional<std::string> found = HomeDirectory();
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->front(), '/');
}

TEST(XdgBaseDirectory, IgnoresARelativeValue) {
    ScopedVariable home("HOME", "/home/tester");
    ScopedVariable config("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(XdgBaseDirectory("XDG_CONFIG_HOME", ".config"), "/home/tester/.config");
    setenv("XDG_CONFIG_HOME", "/etc/tester/", 1);
    EXPECT_EQ(XdgBaseDirectory("XDG_CONFIG_HOME", ".config"), "/etc/tester");
}

}  // namespace
}  // namespace updater::platform::posix
