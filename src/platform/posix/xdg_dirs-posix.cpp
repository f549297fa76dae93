#include "platform/posix/xdg_dirs-posix.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "platform/posix/internal-posix.h"

namespace updater::platform::posix {
namespace {

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::optional<std::string> HomeFromPasswordDatabase() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
        buffer.resize(buffer.size() * 2);
    }
    if (found == nullptr || !IsAbsolute(found->pw_dir)) {
        return std::nullopt;
    }
    return WithoutTrailingSlashes(found->pw_dir);
}

void SkipBlanks(const std::string& text, size_t& at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
        ++at;
    }
}

bool SkipText(const std::string& text, size_t& at, const std::string& expected) {
    if (text.compare(at, expected.size(), expected) != 0) {
        return false;
    }
    at += expected.size();
    return true;
}

// The double-quoted value starting at `at` (after the opening quote), backslash escapes
// resolved; nullopt when the closing quote is missing.
std::optional<std::string> ReadQuotedValue(const std::string& line, size_t at) {
    std::string value;
    for (; at < line.size(); ++at) {
        if (line[at] == '"') {
            return value;
        }
        if (line[at] == '\\' && at + 1 < line.size()) {
            ++at;
        }
        value += line[at];
    }
    return std::nullopt;
}

// The directory a line such as XDG_DESKTOP_DIR="$HOME/Desktop" sets; only paths below "$HOME"
// and absolute paths are valid.
std::optional<std::string> ParseUserDirectoryLine(const std::string& line, const std::string& name,
                                                  const std::string& home) {
    size_t at = 0;
    SkipBlanks(line, at);
    if (!SkipText(line, at, "XDG_" + name + "_DIR")) {
        return std::nullopt;
    }
    SkipBlanks(line, at);
    if (!SkipText(line, at, "=")) {
        return std::nullopt;
    }
    SkipBlanks(line, at);
    if (!SkipText(line, at, "\"")) {
        return std::nullopt;
    }
    std::optional<std::string> value = ReadQuotedValue(line, at);
    if (!value) {
        return std::nullopt;
    }
    const std::string homePrefix = "$HOME";
    if (value->compare(0, homePrefix.size(), homePrefix) == 0) {
        std::string rest = value->substr(homePrefix.size());
        if (!rest.empty() && rest[0] != '/') {
            return std::nullopt;
        }
        return WithoutTrailingSlashes(JoinPath(home, rest));
    }
    if (!IsAbsolute(value->c_str())) {
        return std::nullopt;
    }
    return WithoutTrailingSlashes(*value);
}

}  // namespace

std::string JoinPath(const std::string& directory, const std::string& relative) {
    size_t start = relative.find_first_not_of('/');
    if (start == std::string::npos) {
        return directory;
    }
    std::string separator = !directory.empty() && directory.back() == '/' ? "" : "/";
    return directory + separator + relative.substr(start);
}

std::optional<std::string> HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (IsAbsolute(home)) {
        return WithoutTrailingSlashes(home);
    }
    return HomeFromPasswordDatabase();
}

std::optional<std::string> XdgBaseDirectory(const char* variable, const char* homeRelativeDefault) {
    const char* value = std::getenv(variable);
    if (IsAbsolute(value)) {
        return WithoutTrailingSlashes(value);
    }
    std::optional<std::string> home = HomeDirectory();
    if (!home) {
        return std::nullopt;
    }
    return WithoutTrailingSlashes(JoinPath(*home, homeRelativeDefault));
}

std::optional<std::string> XdgUserDirectory(const std::string& name,
                                            const char* homeRelativeDefault) {
    std::optional<std::string> home = HomeDirectory();
    std::optional<std::string> configHome = XdgBaseDirectory("XDG_CONFIG_HOME", ".config");
    if (!home || !configHome) {
        return std::nullopt;
    }
    const std::string dirsText =
        ReadSmallRegularFile(JoinPath(*configHome, "user-dirs.dirs")).value_or(std::string());
    if (std::optional<std::string> found = FindUserDirectoryInText(dirsText, name, *home)) {
        return found;
    }
    return WithoutTrailingSlashes(JoinPath(*home, homeRelativeDefault));
}

std::optional<std::string> FindUserDirectoryInText(const std::string& dirsText,
                                                   const std::string& name,
                                                   const std::string& home) {
    std::optional<std::string> found;
    std::istringstream lines(dirsText);
    std::string line;
    while (std::getline(lines, line)) {
        if (std::optional<std::string> value = ParseUserDirectoryLine(line, name, home)) {
            found = value;
        }
    }
    return found;
}

}  // namespace updater::platform::posix
