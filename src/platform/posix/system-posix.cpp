#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/overrides.h"
#include "platform/posix/native_path-posix.h"
#include "platform/system.h"

namespace updater::platform {
namespace {

// Stand-ins for the two Windows directories, chosen by what scripts keep there: the Windows
// directory holds the system-wide configuration (the home of bare-named settings files), which
// Linux keeps in /etc; the system directory holds the shared libraries that scripts install for
// every program, which Linux keeps in /usr/lib.
constexpr const char* kWindowsDirectory = "/etc";
constexpr const char* kSystemDirectory = "/usr/lib";

bool WriteAll(int fd, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        ssize_t count = write(fd, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        written += static_cast<size_t>(count);
    }
    return true;
}

}  // namespace

std::string GetModulePath() {
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return std::string();
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            return posix::FromNativePath(std::string(buffer.data(), static_cast<size_t>(length)));
        }
        // The link may have been cut to the buffer: try again with more room.
        buffer.resize(buffer.size() * 2);
    }
}

std::string GetWindowsDirectoryPath() {
    return posix::FromNativePath(kWindowsDirectory);
}

std::string GetSystemDirectoryPath() {
    return posix::FromNativePath(kSystemDirectory);
}

bool IsNtFamily() {
    return overrides::NtFamily().value_or(true);
}

bool GetEnvironmentText(const char* name, std::string& value) {
    const char* text = std::getenv(name);
    if (text == nullptr) {
        return false;
    }
    value = text;
    return true;
}

bool AppendToFile(const std::string& path, const std::string& text) {
    int fd =
        open(posix::ToNativePath(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    bool written = WriteAll(fd, text);
    bool closed = close(fd) == 0;
    return written && closed;
}

// Shortcut files are written directly on Linux; there is no component model to start.
void StartComponentModel() {}
void StopComponentModel() {}

}  // namespace updater::platform
