#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/posix/file_attributes-posix.h"
#include "platform/posix/file_path-posix.h"
#include "platform/posix/wildcard-posix.h"

namespace updater::platform {

// One open directory at a time, read entry by entry: a search never holds more than one entry,
// however large the directory.
struct DirectorySearch::State {
    DIR* directory = nullptr;
    std::string directoryPath;
    std::optional<posix::WildcardPattern> pattern;
    const char* dotsLeft[2] = {nullptr, nullptr};  // "." and "..", reported first as Windows does

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        if (directory != nullptr)
            closedir(directory);
    }
};

namespace {

std::string LastName(const std::string& native) {
    std::string::size_type slash = native.rfind('/');
    return slash == std::string::npos ? native : native.substr(slash + 1);
}

std::string JoinNative(const std::string& directory, const char* name) {
    if (directory == "/")
        return directory + name;
    return directory + "/" + name;
}

// A root directory has no "." or ".." entries in a Windows search.
bool IsRootDirectory(DIR* directory) {
    struct stat own {};
    struct stat root {};
    return fstat(dirfd(directory), &own) == 0 && stat("/", &root) == 0 &&
           own.st_dev == root.st_dev && own.st_ino == root.st_ino;
}

bool ReadEntry(const std::string& directory, int directoryFd, const char* name, FoundEntry& entry) {
    struct stat status {};
    if (fstatat(directoryFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    entry.name = name;
    entry.attributes = posix::EntryAttributes(JoinNative(directory, name), status);
    return true;
}

// Windows finds nothing for a pattern that ends in a separator, not even a directory.
bool EndsInSeparator(const std::string& pattern) {
    return !pattern.empty() && (pattern.back() == '\\' || pattern.back() == '/');
}

bool IsDotName(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

DirectorySearch::DirectorySearch() = default;
DirectorySearch::~DirectorySearch() = default;

void DirectorySearch::Close() {
    state_.reset();
}

bool DirectorySearch::Start(const std::string& pattern, FoundEntry& first) {
    Close();
    std::string native;
    if (EndsInSeparator(pattern) || !posix::ToFilePath(pattern, native))
        return false;
    std::string name = LastName(native);
    if (!HasWildcards(name)) {
        struct stat status {};
        if (lstat(native.c_str(), &status) != 0)
            return false;
        first.name = name;
        first.attributes = posix::EntryAttributes(native, status);
        return true;
    }
    auto state = std::make_unique<State>();
    state->directoryPath = posix::ParentOf(native);
    state->directory = opendir(state->directoryPath.c_str());
    if (state->directory == nullptr)
        return false;
    state->pattern.emplace(name);
    if (!IsRootDirectory(state->directory)) {
        state->dotsLeft[0] = ".";
        state->dotsLeft[1] = "..";
    }
    state_ = std::move(state);
    if (Next(first))
        return true;
    Close();
    return false;
}

bool DirectorySearch::Next(FoundEntry& entry) {
    if (!state_)
        return false;
    State& state = *state_;
    const int directoryFd = dirfd(state.directory);
    for (const char*& dot : state.dotsLeft) {
        const char* name = dot;
        dot = nullptr;
        if (name != nullptr && state.pattern->MatchesDotEntry(name) &&
            ReadEntry(state.directoryPath, directoryFd, name, entry))
            return true;
    }
    while (const dirent* found = readdir(state.directory)) {
        if (IsDotName(found->d_name) || !state.pattern->Matches(found->d_name))
            continue;
        if (ReadEntry(state.directoryPath, directoryFd, found->d_name, entry))
            return true;
    }
    return false;
}

}  // namespace updater::platform
