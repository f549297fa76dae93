#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/overrides.h"
#include "platform/posix/file_path-posix.h"
#include "platform/posix/internal-posix.h"
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
    std::string native;
    if (!posix::ToFilePath(path, native)) {
        return false;
    }
    // The log may be a pipe to a viewer. Nothing may wait on it: a pipe without a reader (ENXIO)
    // or one whose reader has stopped reading (EAGAIN) loses the event, as an unwritable file
    // does, and a reader that has gone away costs the event, not the process.
    posix::FileDescriptor file(open(
        native.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666));
    if (!file.IsOpen()) {
        return false;
    }
    const bool written = posix::WriteAllWithoutSigpipe(file.Get(), text.data(), text.size());
    const bool closed = file.Close();
    return written && closed;
}

// Shortcut files are written directly on Linux; there is no component model to start.
void StartComponentModel() {}
void StopComponentModel() {}

}  // namespace updater::platform
