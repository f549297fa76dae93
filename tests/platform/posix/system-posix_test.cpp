#include "platform/system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/overrides.h"
#include "platform/posix/internal-posix.h"
#include "platform/posix/scoped_environment.h"

namespace updater::platform {
namespace {

using posix::test_support::ExitCodeInChild;
using posix::test_support::ScopedVariable;
using posix::test_support::TemporaryDirectory;

std::string ReadFile(const std::string& nativePath) {
    std::ifstream file(nativePath, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(ModulePath, IsAbsoluteWithBackslashesUnlessOverridden) {
    std::string path = GetModulePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '\\');
    EXPECT_EQ(path.find('/'), std::string::npos);
    struct stat status {};
    EXPECT_EQ(stat(posix::ToNativePath(path).c_str(), &status), 0);
    // A harness puts the program beside a script of its own.
    overrides::SetModuleFile("\\tmp\\harness\\setup");
    EXPECT_EQ(GetModulePath(), "\\tmp\\harness\\setup");
    overrides::SetModuleFile(std::nullopt);
    EXPECT_EQ(GetModulePath(), path);
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

// A log that is a pipe nobody reads, or one whose reader stopped reading, loses the event
// instead of holding up the run.
TEST(AppendToFile, NeverWaitsForAPipe) {
    TemporaryDirectory directory;
    const std::string fifo = directory.path() + "/log.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string path = posix::FromNativePath(fifo);
    EXPECT_EQ(ExitCodeInChild([&] { return AppendToFile(path, "x\n") ? 1 : 0; }), 0);
    EXPECT_EQ(ExitCodeInChild([&] {
                  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
                  const int filler = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
                  const std::string block(4096, 'f');
                  while (write(filler, block.data(), block.size()) > 0) {
                  }
                  return reader >= 0 && !AppendToFile(path, "x\n") ? 0 : 1;
              }),
              0);
}

TEST(AppendToFile, ReadersOfPipesAndStandardErrorReceiveTheText) {
    TemporaryDirectory directory;
    const std::string fifo = directory.path() + "/log.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const posix::FileDescriptor reader(open(fifo.c_str(), O_RDONLY | O_NONBLOCK));
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_TRUE(AppendToFile(posix::FromNativePath(fifo), "event\n"));
    char got[16] = {};
    EXPECT_EQ(read(reader.Get(), got, sizeof got), 6);
    EXPECT_EQ(std::string(got), "event\n");

    EXPECT_EQ(ExitCodeInChild([] {
                  int ends[2];
                  if (pipe(ends) != 0 || dup2(ends[1], STDERR_FILENO) < 0)
                      return 2;
                  if (!AppendToFile("\\dev\\stderr", "to stderr"))
                      return 3;
                  char text[16] = {};
                  return read(ends[0], text, sizeof text) == 9 ? 0 : 4;
              }),
              0);
}

// A reader that has gone away costs the event, never the process, and SIGPIPE is neither
// ignored nor left blocked afterwards; one that was pending before stays pending.
TEST(AppendToFile, ReaderThatHasGoneAwayNeverEndsTheProcess) {
    const int code = ExitCodeInChild([] {
        int ends[2];
        if (pipe(ends) != 0)
            return 2;
        close(ends[0]);
        if (AppendToFile(posix::FromNativePath("/proc/self/fd/" + std::to_string(ends[1])), "x"))
            return 3;
        if (posix::WriteAllWithoutSigpipe(ends[1], "x", 1))
            return 4;
        sigset_t set;
        sigpending(&set);
        if (sigismember(&set, SIGPIPE) == 1)
            return 5;
        pthread_sigmask(SIG_BLOCK, nullptr, &set);
        if (sigismember(&set, SIGPIPE) == 1)
            return 6;
        struct sigaction action {};
        sigaction(SIGPIPE, nullptr, &action);
        if (action.sa_handler != SIG_DFL)
            return 7;

        sigemptyset(&set);
        sigaddset(&set, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
        raise(SIGPIPE);
        if (posix::WriteAllWithoutSigpipe(ends[1], "x", 1))
            return 8;
        sigpending(&set);
        return sigismember(&set, SIGPIPE) == 1 ? 0 : 9;
    });
    EXPECT_EQ(code, 0);
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
