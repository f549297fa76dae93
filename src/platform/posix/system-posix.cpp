#include "platform/system.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/overrides.h"
#include "platform/posix/internal-posix.h"
#include "platform/posix/system_calls-posix.h"

namespace updater::platform {

// --- The program and the system ------------------------------------------------------------------

namespace {

// Stand-ins for the two Windows directories, chosen by what scripts keep there: the Windows
// directory holds the system-wide configuration (the home of bare-named settings files), which
// Linux keeps in /etc; the system directory holds the shared libraries that scripts install for
// every program, which Linux keeps in /usr/lib.
constexpr const char* kWindowsDirectory = "/etc";
constexpr const char* kSystemDirectory = "/usr/lib";

}  // namespace

std::string GetModulePath() {
    if (overrides::ModuleFile())
        return *overrides::ModuleFile();
    return posix::FromNativePath(posix::ReadWholeLink("/proc/self/exe").value_or(std::string()));
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

void WriteStandardError(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        done += static_cast<std::size_t>(written);
    }
}

bool HasDriveLetters() {
    return false;
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
    posix::FileDescriptor file(posix::Calls().open(
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

// --- XDG directories -----------------------------------------------------------------------------
// Where the XDG conventions put a user's directories. Results are native paths without a
// trailing slash; nullopt when the home directory itself is unknown.

namespace posix {

namespace {

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
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

}  // namespace posix

// --- Special folders -----------------------------------------------------------------------------
// Shell special folders on Linux: the XDG user directories and their system-wide counterparts.
// A known folder is found even when its directory does not exist yet, as Windows names its
// standard folders whether or not anything was put there; folders below home need the home
// directory to be known. Linux has no desktop shared by all users, so the all-users desktop is
// the user's own desktop, the only one a desktop environment shows. Numbers of virtual folders
// (printers, network, ...) and of folders without a counterpart are unknown and fail.

namespace {

enum class FolderSource {
    kFixed,    // `key` is the path
    kHome,     // the home directory
    kBase,     // an XDG base directory: `key` the variable, `homeDefault` below home
    kUser,     // an XDG user directory: `key` its name, `homeDefault` below home
    kWindows,  // the Windows directory stand-in
    kSystem,   // the system directory stand-in
};

struct KnownFolder {
    int csidl;
    FolderSource source;
    const char* key;
    const char* homeDefault;
    const char* below;  // appended to the directory found
};

constexpr KnownFolder kKnownFolders[] = {
    {0, FolderSource::kUser, "DESKTOP", "Desktop", ""},                          // desktop
    {2, FolderSource::kBase, "XDG_DATA_HOME", ".local/share", "applications"},   // programs
    {5, FolderSource::kUser, "DOCUMENTS", "Documents", ""},                      // personal
    {7, FolderSource::kBase, "XDG_CONFIG_HOME", ".config", "autostart"},         // startup
    {11, FolderSource::kBase, "XDG_DATA_HOME", ".local/share", "applications"},  // start menu
    {13, FolderSource::kUser, "MUSIC", "Music", ""},                             // my music
    {14, FolderSource::kUser, "VIDEOS", "Videos", ""},                           // my video
    {16, FolderSource::kUser, "DESKTOP", "Desktop", ""},             // desktop directory
    {20, FolderSource::kFixed, "/usr/share/fonts", "", ""},          // fonts
    {21, FolderSource::kUser, "TEMPLATES", "Templates", ""},         // templates
    {22, FolderSource::kFixed, "/usr/share/applications", "", ""},   // common start menu
    {23, FolderSource::kFixed, "/usr/share/applications", "", ""},   // common programs
    {24, FolderSource::kFixed, "/etc/xdg/autostart", "", ""},        // common startup
    {25, FolderSource::kUser, "DESKTOP", "Desktop", ""},             // common desktop
    {26, FolderSource::kBase, "XDG_CONFIG_HOME", ".config", ""},     // application data
    {28, FolderSource::kBase, "XDG_DATA_HOME", ".local/share", ""},  // local application data
    {35, FolderSource::kFixed, "/etc/xdg", "", ""},                  // common application data
    {36, FolderSource::kWindows, "", "", ""},                        // windows
    {37, FolderSource::kSystem, "", "", ""},                         // system
    {38, FolderSource::kFixed, "/opt", "", ""},                      // program files
    {39, FolderSource::kUser, "PICTURES", "Pictures", ""},           // my pictures
    {40, FolderSource::kHome, "", "", ""},                           // profile
    {41, FolderSource::kSystem, "", "", ""},                         // system (x86)
    {42, FolderSource::kFixed, "/opt", "", ""},                      // program files (x86)
    {46, FolderSource::kFixed, "/usr/share/doc", "", ""},            // common documents
};

// The flag bits above the folder number (create, don't verify, ...) change nothing here.
constexpr int kFolderNumberMask = 0xFF;
constexpr int kFlagsMask = 0xFF00;

const KnownFolder* FindKnownFolder(int csidl) {
    if ((csidl & ~(kFolderNumberMask | kFlagsMask)) != 0) {
        return nullptr;
    }
    csidl &= kFolderNumberMask;
    for (const KnownFolder& folder : kKnownFolders) {
        if (folder.csidl == csidl) {
            return &folder;
        }
    }
    return nullptr;
}

std::optional<std::string> NativeFolderPath(const KnownFolder& folder) {
    switch (folder.source) {
        case FolderSource::kFixed:
            return std::string(folder.key);
        case FolderSource::kHome:
            return posix::HomeDirectory();
        case FolderSource::kBase:
            return posix::XdgBaseDirectory(folder.key, folder.homeDefault);
        case FolderSource::kUser:
            return posix::XdgUserDirectory(folder.key, folder.homeDefault);
        case FolderSource::kWindows:
            return posix::ToNativePath(GetWindowsDirectoryPath());
        case FolderSource::kSystem:
            return posix::ToNativePath(GetSystemDirectoryPath());
    }
    return std::nullopt;
}

}  // namespace

bool GetSpecialFolderPath(int csidl, std::string& path) {
    const KnownFolder* folder = FindKnownFolder(csidl);
    if (folder == nullptr || overrides::SpecialFoldersMissing()) {
        return false;
    }
    std::optional<std::string> found = NativeFolderPath(*folder);
    if (!found) {
        return false;
    }
    path = posix::FromNativePath(posix::JoinPath(*found, folder->below));
    return true;
}

}  // namespace updater::platform
