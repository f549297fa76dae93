#include "platform/processes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/posix/internal-posix.h"
#include "platform/posix/scoped_environment.h"

namespace updater::platform {
namespace {

using posix::test_support::ExitCodeInChild;
using posix::test_support::TemporaryDirectory;

// The file's content once it has some; empty after half a minute without.
std::string ContentOnceWritten(const std::string& path) {
    for (int tries = 0; tries < 3000; ++tries) {
        std::ostringstream text;
        text << std::ifstream(path).rdbuf();
        if (!text.str().empty()) {
            return text.str();
        }
        usleep(10000);
    }
    return "";
}

// The Updater holds a descriptor without close-on-exec, blocks a signal and ignores others: the
// program sees none of that, in either way of starting, but shares standard output.
TEST(StartProgram, TheProgramInheritsNoDescriptorAndNoSignalStateButStandardOutput) {
    TemporaryDirectory directory;
    const std::string report = directory.path() + "/report";
    std::ofstream(directory.path() + "/held") << "inherited\n";
    const std::string line =
        "/bin/grep -h -s -E \"^(SigBlk|SigIgn|inherited)\" /proc/self/status /proc/self/fd/50";
    for (StartWait wait : {StartWait::kUntilEnded, StartWait::kUntilReady}) {
        const int code = ExitCodeInChild([&] {
            dup2(open(report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            dup2(open((directory.path() + "/held").c_str(), O_RDONLY), 50);
            sigset_t blocked;
            sigemptyset(&blocked);
            sigaddset(&blocked, SIGUSR1);
            sigprocmask(SIG_BLOCK, &blocked, nullptr);
            signal(SIGHUP, SIG_IGN);
            // The system then reaps the Updater's children itself.
            signal(SIGCHLD, SIG_IGN);
            return StartProgram(line, posix::FromNativePath(directory.path()), wait) ? 0 : 1;
        });
        ASSERT_EQ(code, 0);
        // Ready means executed: the report may still be in the making.
        EXPECT_EQ(ContentOnceWritten(report),
                  "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
    }
}

TEST(StartProgram, AProgramNotWaitedForIsNeverTheUpdatersChild) {
    TemporaryDirectory directory;
    const std::string pid = directory.path() + "/pid";
    ASSERT_TRUE(StartProgram(
        "/bin/sh -c \"echo $$ >" + pid + ".new; mv " + pid + ".new " + pid + "; exec sleep 60\"",
        posix::FromNativePath(directory.path()), StartWait::kUntilReady));
    int status = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);  // no child at all, not even an ended one
    const std::string written = ContentOnceWritten(pid);
    ASSERT_FALSE(written.empty());
    const pid_t id = std::stoi(written);
    // A wait that does not wait leaves it running; a wait without limit sees the end of a
    // process that is not the Updater's child.
    const bool waitedNot = WaitForProcess(static_cast<uint32_t>(id), 0) && kill(id, 0) == 0;
    kill(id, SIGKILL);
    EXPECT_TRUE(waitedNot);
    EXPECT_TRUE(WaitForProcess(static_cast<uint32_t>(id), kNoTimeLimit));
}

}  // namespace
}  // namespace updater::platform
