#include "platform/system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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
