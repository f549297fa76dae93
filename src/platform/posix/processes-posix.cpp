#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>
#include <vector>

#include "platform/posix/command_line-posix.h"
#include "platform/posix/file_path-posix.h"
#include "platform/posix/internal-posix.h"
#include "platform/processes.h"

extern char** environ;

namespace updater::platform {
namespace {

// Everything the started program needs, made before the fork: between the fork and the exec
// only system calls run.
struct Image {
    std::string path;  // native and absolute: the working directory changes before the exec
    std::string directory;
    std::vector<std::string> arguments;
    std::vector<char*> argv;
    int descriptorLimit = 0;
};

bool PrepareImage(const std::string& commandLine, const std::string& directory, Image& image) {
    image.arguments = posix::SplitCommandLine(commandLine);
    if (image.arguments.empty() || !posix::ToFilePath(image.arguments.front(), image.path) ||
        !posix::ToFilePath(directory, image.directory)) {
        return false;
    }
    // A relative name counts from the Updater's working directory, as on Windows.
    if (image.path.front() != '/') {
        std::vector<char> current(PATH_MAX);
        if (getcwd(current.data(), current.size()) == nullptr) {
            return false;
        }
        image.path = std::string(current.data()) + "/" + image.path;
    }
    image.arguments.front() = image.path;
    for (std::string& argument : image.arguments) {
        image.argv.push_back(argument.data());
    }
    image.argv.push_back(nullptr);
    rlimit limit{};
    image.descriptorLimit = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < INT_MAX
                                ? static_cast<int>(limit.rlim_cur)
                                : INT_MAX;
    return true;
}

// Every descriptor above standard error is closed by the exec; the error pipe stays usable
// until then.
void CloseDescriptorsOnExec(int limit) {
    if (syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) == 0) {
        return;
    }
    for (int fd = 3; fd < limit; ++fd) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
}

[[noreturn]] void ReportAndExit(int errorPipe, int error) {
    while (write(errorPipe, &error, sizeof error) < 0 && errno == EINTR) {
    }
    _exit(127);
}

// In the forked child: the program gets the default disposition of every signal and blocks
// none, whatever the Updater inherited or holds back itself. Never returns.
[[noreturn]] void BecomeProgram(const Image& image, int errorPipe) {
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        sigaction(signal, &defaultAction, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (chdir(image.directory.c_str()) == 0) {
        CloseDescriptorsOnExec(image.descriptorLimit);
        execve(image.path.c_str(), image.argv.data(), environ);
    }
    ReportAndExit(errorPipe, errno);
}

// Waits for a child to end and gives its status; false when it cannot be waited for. A child
// that the system reaped itself, as it does when whoever started the Updater left SIGCHLD
// ignored, has ended too: it counts as having exited with 0.
bool Reap(pid_t child, int& status) {
    for (;;) {
        if (waitpid(child, &status, 0) == child) {
            return true;
        }
        if (errno == ECHILD) {
            status = 0;
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

// What the child reported through the error pipe: 0 once the program's image was executed
// (the pipe closed by the exec, unwritten), else why it was not.
int StartError(int readEnd) {
    int error = 0;
    for (;;) {
        const ssize_t got = read(readEnd, &error, sizeof error);
        if (got == 0) {
            return 0;
        }
        if (got == static_cast<ssize_t>(sizeof error)) {
            return error != 0 ? error : EIO;
        }
        if (got > 0 || errno != EINTR) {
            return EIO;
        }
    }
}

}  // namespace

bool StartProgram(const std::string& commandLine, const std::string& directory, StartWait wait) {
    Image image;
    if (!PrepareImage(commandLine, directory, image)) {
        return false;
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    posix::FileDescriptor readEnd(ends[0]);
    posix::FileDescriptor writeEnd(ends[1]);
    const pid_t child = fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        // A program that is not waited for is started by a child that ends at once: the
        // program's parent is then the system, which reaps it, never the Updater.
        if (wait == StartWait::kUntilReady) {
            const pid_t program = fork();
            if (program < 0) {
                ReportAndExit(writeEnd.Get(), errno);
            }
            if (program > 0) {
                _exit(0);
            }
        }
        BecomeProgram(image, writeEnd.Get());
    }
    writeEnd.Close();
    const int error = StartError(readEnd.Get());
    int status = 0;
    const bool reaped = Reap(child, status);
    if (wait == StartWait::kUntilReady) {
        return error == 0 && reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return error == 0 && reaped;
}

}  // namespace updater::platform
