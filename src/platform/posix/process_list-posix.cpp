#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
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
#include "platform/posix/native_path-posix.h"
#include "platform/processes.h"

namespace updater::platform {
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
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink((entry + "/exe").c_str(), buffer.data(), buffer.size());
        if (length < 0) {
            return std::nullopt;
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
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
    // The descriptor becomes readable when the process ends. poll takes at most INT_MAX
    // milliseconds, and an interrupted poll starts again with what is left.
    pollfd entry{handle.Get(), POLLIN, 0};
    for (;;) {
        long long left = -1;
        if (timeout != kNoTimeLimit) {
            const auto waited =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
            left = std::max<long long>(static_cast<long long>(timeout) - waited.count(), 0);
        }
        const int step = left < 0 ? -1 : static_cast<int>(std::min<long long>(left, INT_MAX));
        const int ready = poll(&entry, 1, step);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready != 0 || left <= INT_MAX) {
            return true;
        }
    }
}

}  // namespace updater::platform
