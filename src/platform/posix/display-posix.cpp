#include "platform/posix/display-posix.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>

namespace updater::platform::posix {
namespace {

std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

bool IsSocket(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

bool IsLocalHost(const std::string& host) {
    return host.empty() || host == "unix";
}

bool IsDisplayNumber(const std::string& number) {
    if (number.empty()) {
        return false;
    }
    for (char c : number) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
    }
    return true;
}

bool IsX11DisplayReachable(const std::string& display) {
    if (display.find(':') == std::string::npos) {
        return false;
    }
    std::optional<std::string> socket = LocalX11SocketPath(display);
    if (socket) {
        return IsSocket(*socket);
    }
    std::string host = display.substr(0, display.rfind(':'));
    return !IsLocalHost(host);
}

}  // namespace

std::optional<std::string> LocalX11SocketPath(const std::string& display) {
    size_t colon = display.rfind(':');
    if (colon == std::string::npos || !IsLocalHost(display.substr(0, colon))) {
        return std::nullopt;
    }
    std::string number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (!IsDisplayNumber(number)) {
        return std::nullopt;
    }
    return "/tmp/.X11-unix/X" + number;
}

std::optional<std::string> WaylandSocketPath(const std::string& waylandDisplay,
                                             const std::string& runtimeDirectory) {
    if (!waylandDisplay.empty() && waylandDisplay[0] == '/') {
        return waylandDisplay;
    }
    if (runtimeDirectory.empty()) {
        return std::nullopt;
    }
    return runtimeDirectory + "/" + waylandDisplay;
}

bool IsDisplayAvailable() {
    std::string wayland = EnvironmentText("WAYLAND_DISPLAY");
    if (!wayland.empty()) {
        std::optional<std::string> socket =
            WaylandSocketPath(wayland, EnvironmentText("XDG_RUNTIME_DIR"));
        if (socket && IsSocket(*socket)) {
            return true;
        }
    }
    std::string display = EnvironmentText("DISPLAY");
    return !display.empty() && IsX11DisplayReachable(display);
}

}  // namespace updater::platform::posix
