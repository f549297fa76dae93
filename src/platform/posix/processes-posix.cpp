#include "platform/processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/internal-posix.h"
#include "platform/progress.h"

extern char** environ;

namespace updater::platform {

// --- Starting programs ---------------------------------------------------------------------------

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
        const std::optional<std::string> current = posix::CurrentDirectory();
        if (!current) {
            return false;
        }
        image.path = *current + "/" + image.path;
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

// How often a wait looks whether a stop of the run was asked for, in milliseconds.
constexpr int kStopCheckInterval = 100;

// Reap, for a child that may run long: false, the child left running, as soon as a stop of the run
// is asked for (the system reaps it once the Updater has ended). Its end is seen through a
// descriptor where the system gives one, else looked for every few milliseconds.
bool ReapUnlessStopped(pid_t child, int& status) {
    const posix::FileDescriptor handle(static_cast<int>(syscall(SYS_pidfd_open, child, 0)));
    for (;;) {
        const pid_t reaped = waitpid(child, &status, WNOHANG);
        if (reaped == child)
            return true;
        if (reaped < 0 && errno != EINTR)
            return Reap(child, status);
        if (StopRequested())
            return false;
        pollfd entry{handle.Get(), POLLIN, 0};
        if (!handle.IsOpen() || poll(&entry, 1, kStopCheckInterval) < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
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
    const bool reaped =
        wait == StartWait::kUntilEnded ? ReapUnlessStopped(child, status) : Reap(child, status);
    if (wait == StartWait::kUntilReady) {
        return error == 0 && reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return error == 0 && reaped;
}

// --- Running processes ---------------------------------------------------------------------------

namespace {

using Clock = std::chrono::steady_clock;

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

std::optional<uint32_t> ProcessIdOf(const char* name) {
    uint32_t id = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || id > (UINT32_MAX - 9) / 10) {
            return std::nullopt;
        }
        id = id * 10 + static_cast<uint32_t>(*p - '0');
    }
    return id != 0 ? std::optional<uint32_t>(id) : std::nullopt;
}

// The resolved path of the process's program file, as the link reads (a replaced file ends in
// " (deleted)"); nothing when the link may not be read.
std::optional<std::string> ExecutableLink(const std::string& entry) {
    return posix::ReadWholeLink(entry + "/exe");
}

// The bare program name: the base name of the first argument, else the command name (a kernel
// thread, a process that has ended but is not yet reaped). Nothing when the process has gone.
std::optional<std::string> BareName(const std::string& entry) {
    if (std::optional<std::string> arguments = posix::ReadSmallRegularFile(entry + "/cmdline")) {
        const std::string first = arguments->substr(0, arguments->find('\0'));
        const std::string name = first.substr(first.rfind('/') + 1);
        if (!name.empty()) {
            return name;
        }
    }
    std::optional<std::string> command = posix::ReadSmallRegularFile(entry + "/comm");
    if (command && !command->empty() && command->back() == '\n') {
        command->pop_back();
    }
    return command && !command->empty() ? command : std::nullopt;
}

// Waits on a process that is not the Updater's child where the system cannot tell its end
// through a descriptor (pidfd_open refused in some containers): looks every few milliseconds.
void PollUntilGone(pid_t process, uint32_t timeout, Clock::time_point start) {
    while (kill(process, 0) == 0 || errno == EPERM) {
        if (StopRequested())
            return;
        if (timeout != kNoTimeLimit && Clock::now() - start >= std::chrono::milliseconds(timeout)) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

bool ListProcesses(std::vector<RunningProcess>& processes) {
    processes.clear();
    const std::unique_ptr<DIR, DirectoryCloser> proc(opendir("/proc"));
    if (!proc) {
        return false;
    }
    std::vector<uint32_t> ids;
    while (const dirent* entry = readdir(proc.get())) {
        if (std::optional<uint32_t> id = ProcessIdOf(entry->d_name)) {
            ids.push_back(*id);
        }
    }
    // The system's order is the order of process ids, oldest first until the ids wrap.
    std::sort(ids.begin(), ids.end());
    for (uint32_t id : ids) {
        const std::string entry = "/proc/" + std::to_string(id);
        if (std::optional<std::string> link = ExecutableLink(entry)) {
            processes.push_back({id, posix::FromNativePath(*link)});
        } else if (std::optional<std::string> name = BareName(entry)) {
            processes.push_back({id, *name});
        }
    }
    return !processes.empty();
}

uint32_t CurrentProcessId() {
    return static_cast<uint32_t>(getpid());
}

bool WaitForProcess(uint32_t id, uint32_t timeout) {
    if (id == 0 || id > static_cast<uint32_t>(INT_MAX)) {
        return false;
    }
    const pid_t process = static_cast<pid_t>(id);
    const Clock::time_point start = Clock::now();
    const posix::FileDescriptor handle(static_cast<int>(syscall(SYS_pidfd_open, process, 0)));
    if (!handle.IsOpen()) {
        if (errno != ENOSYS && errno != EPERM) {
            return false;
        }
        PollUntilGone(process, timeout, start);
        return true;
    }
    // The descriptor becomes readable when the process ends; an interrupted poll starts again
    // with what is left.
    pollfd entry{handle.Get(), POLLIN, 0};
    for (;;) {
        long long left = -1;
        if (timeout != kNoTimeLimit) {
            const auto waited =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
            left = std::max<long long>(static_cast<long long>(timeout) - waited.count(), 0);
        }
        // In short steps, to see a stop of the run asked for meanwhile.
        const int step = left < 0 ? kStopCheckInterval
                                  : static_cast<int>(std::min<long long>(left, kStopCheckInterval));
        const int ready = poll(&entry, 1, step);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready != 0 || left == 0 || StopRequested()) {
            return true;
        }
    }
}

}  // namespace updater::platform
