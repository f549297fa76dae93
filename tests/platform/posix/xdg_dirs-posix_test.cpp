#include "platform/posix/internal-posix.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "platform/posix/scoped_environment.h"

namespace updater::platform::posix {
namespace {

using test_support::ExitCodeInChild;
using test_support::ScopedVariable;
using test_support::TemporaryDirectory;

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

// user-dirs.dirs is read only as a regular file and only its start: a named pipe there cannot
// hang the start, nor a link to an endless device eat the memory. Both run in a child that a
// regression gets killed in (by the alarm, or by running out of its own address space).
TEST(XdgUserDirectory, ReadsOnlyARegularUserDirsFile) {
    TemporaryDirectory config;
    ScopedVariable home("HOME", "/home/tester");
    ScopedVariable configHome("XDG_CONFIG_HOME", config.path());
    const std::string dirs = config.path() + "/user-dirs.dirs";
    std::ofstream(dirs) << "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    EXPECT_EQ(XdgUserDirectory("DESKTOP", "Desktop"), "/home/tester/Schreibtisch");

    const auto fallsBackToTheDefault = [] {
        rlimit memory{};
        getrlimit(RLIMIT_AS, &memory);
        std::ifstream statm("/proc/self/statm");
        unsigned long pages = 0;
        statm >> pages;
        // Room for the call, not for reading a device without end.
        memory.rlim_cur =
            std::min(memory.rlim_max,
                     static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
                         (rlim_t{256} << 20));
        setrlimit(RLIMIT_AS, &memory);
        return XdgUserDirectory("DESKTOP", "Desktop") == "/home/tester/Desktop" ? 0 : 1;
    };
    ASSERT_EQ(unlink(dirs.c_str()), 0);
    ASSERT_EQ(mkfifo(dirs.c_str(), 0600), 0);
    EXPECT_EQ(ExitCodeInChild(fallsBackToTheDefault), 0);
    ASSERT_EQ(unlink(dirs.c_str()), 0);
    ASSERT_EQ(symlink("/dev/zero", dirs.c_str()), 0);
    EXPECT_EQ(ExitCodeInChild(fallsBackToTheDefault), 0);
}

}  // namespace
}  // namespace updater::platform::posix
