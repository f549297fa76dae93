#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_changes.h"
#include "platform/posix/internal-posix.h"
#include "platform/posix/system_calls-posix.h"
#include "platform/progress.h"

// Files and directories on Linux, each call keeping the contract of the Windows call it stands
// for. The divisions: what several of them ask of an entry; the attribute bits; identity and
// place; the directory search; copies made through a temporary file; copying, moving and
// removing; reading without sharing.
namespace updater::platform {

// --- Entries -------------------------------------------------------------------------------------
// What several of the divisions below ask of an entry.

namespace {

bool IsSameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string Child(const std::string& directory, const std::string& name) {
    return directory == "/" ? "/" + name : directory + "/" + name;
}

bool ReadLinkText(const std::string& path, std::string& target) {
    std::optional<std::string> text = posix::ReadWholeLink(path);
    if (!text)
        return false;
    target = std::move(*text);
    return true;
}

}  // namespace

// --- Attributes ----------------------------------------------------------------------------------
// Windows attribute bits on Linux. Directory and read-only come from the file's type and mode
// (read-only: the owner's write permission is clear). The bits Linux has no place for (hidden,
// system, archive, temporary, offline, not-indexed) are kept in an extended attribute where the
// file system supports one; without it they read as a new file's (archive alone) and setting them
// is ignored. A name's leading dot does not make it hidden: Windows refuses to overwrite hidden
// files, and every dot-file would then be locked against copies.

namespace posix {
namespace {

constexpr const char* kStoredAttributesName = "user.updater.attributes";

constexpr uint32_t kAttributeTemporary = 0x100;
constexpr uint32_t kAttributeOffline = 0x1000;
constexpr uint32_t kAttributeNotIndexed = 0x2000;
constexpr uint32_t kSettableAttributes = kAttributeReadOnly | kAttributeHidden | kAttributeSystem |
                                         kAttributeArchive | kAttributeTemporary |
                                         kAttributeOffline | kAttributeNotIndexed;

// The bits kept in the extended attribute.
uint32_t StoredAttributeMask() {
    return kSettableAttributes & ~kAttributeReadOnly;
}

uint32_t DefaultStoredAttributes(const struct stat& status) {
    return S_ISDIR(status.st_mode) ? 0 : kAttributeArchive;
}

bool IsUnsupported(int error) {
    return error == ENOTSUP || error == EPERM;
}

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kUsualCreationMask = 022;

// The process's file-creation mask, read without changing it: umask() can only be asked by
// setting it, which every other thread would see for a moment.
mode_t CreationMask() {
    const std::optional<std::string> status = ReadSmallRegularFile("/proc/self/status");
    const std::size_t line = status ? status->find("\nUmask:") : std::string::npos;
    if (line == std::string::npos)
        return kUsualCreationMask;
    return static_cast<mode_t>(std::strtoul(status->c_str() + line + 7, nullptr, 8)) & 0777;
}

// Stored as hexadecimal text, readable with the usual xattr tools.
bool ParseStored(const char* text, uint32_t& bits) {
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 16);
    if (end == text || *end != '\0')
        return false;
    bits = static_cast<uint32_t>(value) & StoredAttributeMask();
    return true;
}

bool WriteStoredAttributes(const std::string& native, const struct stat& status, uint32_t bits) {
    if (bits == DefaultStoredAttributes(status)) {
        if (posix::Calls().removexattr(native.c_str(), kStoredAttributesName) == 0)
            return true;
        return errno == ENODATA || IsUnsupported(errno);
    }
    char text[16];
    int length = std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(bits));
    if (posix::Calls().setxattr(native.c_str(), kStoredAttributesName, text,
                                static_cast<size_t>(length), 0) == 0)
        return true;
    return IsUnsupported(errno);
}

// Read-only takes every write permission away. Clearing it gives write back to the owner, and
// to the group and others where they may read and a new file would let them write (the
// creation mask): a file made 0664 comes back as 0664, not 0644. A writable entry keeps its mode.
mode_t ModeFor(const struct stat& status, bool readOnly) {
    const mode_t permissions = status.st_mode & 07777;
    if (readOnly)
        return permissions & ~kWriteBits;
    if ((permissions & S_IWUSR) != 0)
        return permissions;
    mode_t restored = S_IWUSR;
    if ((permissions & S_IRGRP) != 0)
        restored |= S_IWGRP;
    if ((permissions & S_IROTH) != 0)
        restored |= S_IWOTH;
    return permissions | S_IWUSR | (restored & ~CreationMask());
}

bool ChangeMode(const std::string& native, const struct stat& status, mode_t mode) {
    if ((status.st_mode & 07777) == mode)
        return true;
    return posix::Calls().chmod(native.c_str(), mode) == 0;
}

// Puts back the mode and the stored bits of an entry whose change failed halfway, so that it
// keeps all its old attributes rather than some of the new ones; the failure's error stays.
void RestoreAttributes(const std::string& native, const struct stat& before, uint32_t stored) {
    const int error = errno;
    struct stat now {};
    if (lstat(native.c_str(), &now) == 0 && !S_ISLNK(now.st_mode)) {
        WriteStoredAttributes(native, now, stored);
        ChangeMode(native, now, before.st_mode & 07777);
    }
    errno = error;
}

}  // namespace

uint32_t ReadStoredAttributes(const std::string& native, const struct stat& status) {
    uint32_t bits = DefaultStoredAttributes(status);
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
        return bits;
    char text[16];
    ssize_t length = getxattr(native.c_str(), kStoredAttributesName, text, sizeof text - 1);
    if (length <= 0)
        return bits;
    text[length] = '\0';
    ParseStored(text, bits);
    return bits;
}

bool IsReadOnly(const struct stat& status) {
    return !S_ISLNK(status.st_mode) && (status.st_mode & S_IWUSR) == 0;
}

namespace {

// The whole attribute value of an entry of the given status, as Windows reports it (0x80 when no
// bit is set). A link's own status gives the link alone.
uint32_t AttributesOf(const std::string& native, const struct stat& status) {
    uint32_t attributes = ReadStoredAttributes(native, status);
    if (S_ISDIR(status.st_mode))
        attributes |= kAttributeDirectory;
    if (S_ISLNK(status.st_mode))
        attributes |= kAttributeReparsePoint;
    if (IsReadOnly(status))
        attributes |= kAttributeReadOnly;
    return attributes == 0 ? kAttributeNormal : attributes;
}

// The attribute value of an entry found with lstat(): a symbolic link reports what it leads to,
// marked as a reparse point as Windows marks its links; a dangling one reports the link alone.
uint32_t EntryAttributes(const std::string& native, const struct stat& status) {
    struct stat target {};
    if (!S_ISLNK(status.st_mode) || stat(native.c_str(), &target) != 0)
        return AttributesOf(native, status);
    return AttributesOf(native, target) | kAttributeReparsePoint;
}

// True for a directory, or a link that leads to one, given the entry's own status.
bool IsDirectoryEntry(const std::string& entry, const struct stat& status) {
    if (S_ISDIR(status.st_mode))
        return true;
    struct stat target {};
    return S_ISLNK(status.st_mode) && stat(entry.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
}

// Finds the entry that a native path names, as Windows names it: trailing slashes name the entry
// itself (a link, not what it leads to), and only a directory or a link to one may be written
// with them. `entry` is the path without them; `status` is the entry's own (lstat).
bool LookUpEntry(const std::string& native, std::string& entry, struct stat& status) {
    entry = WithoutTrailingSlashes(native);
    if (lstat(entry.c_str(), &status) != 0)
        return false;
    if (EndsWithSlash(native) && !IsDirectoryEntry(entry, status)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

// Carries the stored bits of one open file to another; false only on a real write failure.
bool CopyStoredAttributes(int fromFd, int toFd) {
    char text[16];
    ssize_t length = fgetxattr(fromFd, kStoredAttributesName, text, sizeof text);
    if (length < 0)
        return true;  // nothing stored, or nowhere to store it
    if (posix::Calls().fsetxattr(toFd, kStoredAttributesName, text, static_cast<size_t>(length),
                                 0) == 0)
        return true;
    return IsUnsupported(errno);
}

}  // namespace
}  // namespace posix

// A link named with a trailing backslash is still the link, as on Windows.
uint32_t GetEntryAttributes(const std::string& path) {
    std::string native;
    std::string entry;
    struct stat status {};
    if (!posix::ToFilePath(path, native) || !posix::LookUpEntry(native, entry, status))
        return kInvalidAttributes;
    return posix::EntryAttributes(entry, status);
}

// The kernel takes no path of PATH_MAX bytes or more, terminator included, whatever it names.
bool IsBeyondReach(const std::string& path) {
    std::string native;
    return posix::ToFilePath(path, native) && native.size() >= PATH_MAX;
}

namespace backend {

// 0 and "normal" clear every settable bit; bits that cannot be set are ignored. The stored bits
// are written while the entry is still writable, since Linux guards extended attributes with
// the write permission. A symbolic link has neither permissions nor stored bits of its own on
// Linux, and Windows would change the link's, never its target's: the target is left as it is
// and the call succeeds.
bool AttemptSetEntryAttributes(const std::string& path, uint32_t attributes) {
    std::string requested;
    std::string native;
    struct stat status {};
    if (!posix::ToFilePath(path, requested) || !posix::LookUpEntry(requested, native, status))
        return false;
    if (S_ISLNK(status.st_mode))
        return true;
    uint32_t bits = attributes & posix::kSettableAttributes;
    bool readOnly = (bits & kAttributeReadOnly) != 0;
    uint32_t stored = bits & posix::StoredAttributeMask();
    const uint32_t storedBefore = posix::ReadStoredAttributes(native, status);
    const struct stat before = status;
    if (storedBefore != stored) {
        if (!posix::ChangeMode(native, status, posix::ModeFor(status, false)))
            return false;
        if (!posix::WriteStoredAttributes(native, status, stored) ||
            lstat(native.c_str(), &status) != 0 || S_ISLNK(status.st_mode)) {
            posix::RestoreAttributes(native, before, storedBefore);
            return false;
        }
    }
    if (posix::ChangeMode(native, status, posix::ModeFor(status, readOnly)))
        return true;
    if (storedBefore != stored)
        posix::RestoreAttributes(native, before, storedBefore);
    return false;
}

}  // namespace backend

// --- Identity and place --------------------------------------------------------------------------
// Where paths lead, told by device and inode number and by the links on the way rather than by
// text, so that ".", "..", doubled slashes and links are all seen through.

namespace {

// A bound far beyond any real depth, so that no file system can keep the walk up going.
constexpr int kMaxDepth = 1 << 16;
// The links the kernel follows on one path before it gives up with ELOOP.
constexpr int kMaxLinks = 40;

bool StatThrough(const std::string& path, struct stat& status) {
    std::string native;
    return posix::ToFilePath(path, native) && stat(native.c_str(), &status) == 0;
}

// The names of a native path in order; empty names (doubled and trailing slashes) name nothing.
std::deque<std::string> NamesOf(const std::string& native) {
    std::deque<std::string> names;
    for (std::string::size_type start = 0; start <= native.size();) {
        std::string::size_type end = native.find('/', start);
        if (end == std::string::npos)
            end = native.size();
        if (end > start)
            names.push_back(native.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::string ParentDirectory(const std::string& resolved) {
    const std::string::size_type slash = resolved.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : resolved.substr(0, slash);
}

// Walks `names` from `resolved` as the kernel walks a path: "." stays, ".." goes up from where the
// walk really is, a link is replaced by what it leads to. A name that does not exist is taken as
// written, with everything after it: those are the directories a transfer is about to create.
bool WalkNames(std::deque<std::string> names, std::string& resolved) {
    int links = 0;
    bool exists = true;
    while (!names.empty()) {
        const std::string name = std::move(names.front());
        names.pop_front();
        if (name == ".")
            continue;
        if (name == "..") {
            resolved = ParentDirectory(resolved);
            continue;
        }
        const std::string next = Child(resolved, name);
        struct stat status {};
        exists = exists && lstat(next.c_str(), &status) == 0;
        if (!exists || !S_ISLNK(status.st_mode)) {
            resolved = next;
            continue;
        }
        std::string target;
        if (++links > kMaxLinks || !ReadLinkText(next, target))
            return false;
        std::deque<std::string> through = NamesOf(target);
        names.insert(names.begin(), through.begin(), through.end());
        if (!target.empty() && target[0] == '/')
            resolved = "/";
    }
    return true;
}

bool WorkingDirectory(std::string& resolved) {
    std::optional<std::string> current = posix::CurrentDirectory();
    if (!current)
        return false;
    resolved = std::move(*current);
    return true;
}

}  // namespace

// The directories of the path are walked as the kernel walks them; the last name is the entry
// itself, unless it is "." or "..", which name a directory of the walk.
Place PlaceOf(const std::string& path) {
    std::string native;
    if (!posix::ToFilePath(path, native))
        return Place::kNowhere;
    std::string resolved = "/";
    if (native[0] != '/' && !WorkingDirectory(resolved))
        return Place::kNowhere;
    std::deque<std::string> names = NamesOf(native);
    std::string last;
    if (!names.empty() && names.back() != "." && names.back() != "..") {
        last = names.back();
        names.pop_back();
    }
    if (!WalkNames(std::move(names), resolved))
        return Place::kNowhere;
    const std::string place = last.empty() ? resolved : Child(resolved, last);
    if (place == "/")
        return Place::kRoot;
    return ParentDirectory(place) == "/" ? Place::kInRoot : Place::kElsewhere;
}

bool IsSameEntry(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    return StatThrough(first, a) && StatThrough(second, b) && IsSameFile(a, b);
}

// The walk goes up by "..", from wherever `inner` really is: the way it was written (through a
// link, say) does not matter. The root is its own parent.
bool LiesWithin(const std::string& inner, const std::string& outer) {
    std::string native;
    struct stat wanted {};
    if (!StatThrough(outer, wanted) || !posix::ToFilePath(inner, native))
        return false;
    posix::FileDescriptor current(posix::Calls().open(native.c_str(), O_PATH | O_CLOEXEC, 0));
    struct stat status {};
    if (!current.IsOpen() || fstat(current.Get(), &status) != 0)
        return false;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        if (IsSameFile(status, wanted))
            return true;
        if (!S_ISDIR(status.st_mode))
            return false;
        posix::FileDescriptor parent(
            posix::Calls().openAt(current.Get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
        struct stat parentStatus {};
        if (!parent.IsOpen() || fstat(parent.Get(), &parentStatus) != 0 ||
            IsSameFile(parentStatus, status))
            return false;
        current = std::move(parent);
        status = parentStatus;
    }
    return false;
}

// --- Directory search ----------------------------------------------------------------------------
// The Windows wildcard rules (WildcardPattern), and the search that reads a directory with them.

namespace posix {

namespace {

// Windows drops trailing dots and spaces of a pattern, but a pattern that ended in a dot keeps
// one: "*. " behaves like "*", while "* ." behaves like "*.".
std::string WithoutTrailingDotsAndSpaces(std::string_view pattern) {
    std::string_view::size_type end = pattern.find_last_not_of(". ");
    std::string kept(pattern.substr(0, end == std::string_view::npos ? 0 : end + 1));
    if (!pattern.empty() && pattern.back() == '.')
        kept += '.';
    return kept;
}

}  // namespace

// The pattern is translated to the DOS wildcards the Windows search uses: "?" always, a "." before
// a wildcard or at the end, and a "*" before a ".".
WildcardPattern::WildcardPattern(std::string_view pattern) {
    std::string text = WithoutTrailingDotsAndSpaces(pattern);
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        char c = text[i];
        char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (c == '?') {
            tokens_.push_back({Kind::kDosQuestion, c});
        } else if (c == '.' && (next == '?' || next == '*' || next == '\0')) {
            tokens_.push_back({Kind::kDosDot, c});
        } else if (c == '*') {
            tokens_.push_back({next == '.' ? Kind::kDosStar : Kind::kStar, c});
        } else {
            tokens_.push_back({Kind::kLiteral, c});
        }
    }
    matchesEverything_ = MatchesEverything();
}

// "*" and "*.*", the patterns of every tree walk, need no per-name work.
bool WildcardPattern::MatchesEverything() const {
    bool onlyStars = !tokens_.empty();
    for (const Token& token : tokens_)
        onlyStars = onlyStars && token.kind == Kind::kStar;
    bool starDotStar = tokens_.size() == 3 && tokens_[0].kind == Kind::kDosStar &&
                       tokens_[1].kind == Kind::kDosDot && tokens_[2].kind == Kind::kStar;
    return onlyStars || starDotStar;
}

bool WildcardPattern::MatchesDotEntry(std::string_view name) const {
    return Matches(name) || Matches(std::string_view());
}

// A set-of-states simulation: linear in the name for every pattern, so no name or pattern can
// make a search slow.
bool WildcardPattern::Matches(std::string_view name) const {
    if (matchesEverything_)
        return true;
    const std::string_view::size_type lastDot = name.rfind('.');
    const std::size_t count = tokens_.size();
    std::vector<char> states(count + 1, 0);
    std::vector<char> next(count + 1, 0);
    states[0] = 1;
    for (std::string_view::size_type at = 0;; ++at) {
        const bool atEnd = at == name.size();
        // Moves that consume nothing; they only lead forward, so one pass in order suffices.
        for (std::size_t t = 0; t < count; ++t) {
            if (!states[t])
                continue;
            Kind kind = tokens_[t].kind;
            bool empty = kind == Kind::kStar || kind == Kind::kDosStar ||
                         (kind == Kind::kDosQuestion && (atEnd || name[at] == '.')) ||
                         (kind == Kind::kDosDot && atEnd);
            if (empty)
                states[t + 1] = 1;
        }
        if (atEnd)
            return states[count] != 0;
        const char c = name[at];
        std::fill(next.begin(), next.end(), 0);
        for (std::size_t t = 0; t < count; ++t) {
            if (!states[t])
                continue;
            const Token& token = tokens_[t];
            switch (token.kind) {
                case Kind::kLiteral:
                    if (token.literal == c)
                        next[t + 1] = 1;
                    break;
                case Kind::kStar:
                    next[t] = 1;
                    break;
                case Kind::kDosStar:
                    if (at != lastDot)
                        next[t] = 1;
                    break;
                case Kind::kDosQuestion:
                    if (c != '.')
                        next[t + 1] = 1;
                    break;
                case Kind::kDosDot:
                    if (c == '.')
                        next[t + 1] = 1;
                    break;
            }
        }
        states.swap(next);
    }
}

}  // namespace posix

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

// A root directory has no "." or ".." entries in a Windows search.
bool IsRootDirectory(DIR* directory) {
    struct stat own {};
    struct stat root {};
    return fstat(dirfd(directory), &own) == 0 && stat("/", &root) == 0 &&
           own.st_dev == root.st_dev && own.st_ino == root.st_ino;
}

// A link, copied as itself, brings no contents.
uint64_t FileSizeOf(const struct stat& status) {
    return S_ISREG(status.st_mode) ? static_cast<uint64_t>(status.st_size) : 0;
}

bool ReadEntry(const std::string& directory, int directoryFd, const char* name, FoundEntry& entry) {
    struct stat status {};
    if (fstatat(directoryFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    entry.name = name;
    entry.attributes = posix::EntryAttributes(Child(directory, name), status);
    entry.size = FileSizeOf(status);
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
        first.size = FileSizeOf(status);
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

// --- Copies through a temporary file -------------------------------------------------------------
// Copies that appear complete or not at all: the data goes to a temporary file beside the
// destination, which is then renamed into place.

namespace posix {

namespace {

constexpr size_t kChunk = size_t{1} << 30;
// Small enough that progress shows many times a second within a large file.
constexpr size_t kReportedChunk = size_t{8} << 20;
constexpr size_t kBufferSize = size_t{1} << 17;
constexpr int kNameAttempts = 100;

// The kernel copies without passing the data through this process; file systems that cannot do
// that refuse at the first call, before anything was written.
bool CanFallBack(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP ||
           error == EBADF;
}

enum class Result { kDone, kFailed, kUnsupported };
enum class Method { kKernel, kSendfile, kReading };

// One call moving bytes from `offset` of the source to the same place in the destination; returns
// how many it moved (0 at the source's end) and advances `offset` by as many.
ssize_t CopyStep(Method method, int from, int to, off_t& offset, size_t length,
                 std::vector<char>& buffer) {
    switch (method) {
        case Method::kKernel: {
            off_t out = offset;
            return posix::Calls().copyFileRange(from, &offset, to, &out, length, 0);
        }
        case Method::kSendfile:
            // sendfile writes at the destination's own position.
            if (lseek(to, offset, SEEK_SET) < 0)
                return -1;
            return posix::Calls().sendfile(to, from, &offset, length);
        case Method::kReading: {
            if (buffer.empty())
                buffer.resize(kBufferSize);
            const ssize_t got =
                posix::Calls().pread(from, buffer.data(), std::min(length, buffer.size()), offset);
            if (got <= 0)
                return got;
            for (ssize_t done = 0; done < got;) {
                const ssize_t put = posix::Calls().pwrite(
                    to, buffer.data() + done, static_cast<size_t>(got - done), offset + done);
                if (put < 0 && errno == EINTR)
                    continue;
                if (put <= 0)
                    return -1;
                done += put;
            }
            offset += got;
            return got;
        }
    }
    return -1;
}

// Copies data ranges of the source, falling back to the next way when the current one is refused
// at its very first use. `offset` stops early where the source ends, for a file that shrank
// meanwhile.
class RangeCopier {
  public:
    RangeCopier(int from, int to)
        : from_(from), to_(to), chunk_(ProgressWanted() ? kReportedChunk : kChunk) {}

    bool Copy(off_t& offset, off_t end) {
        for (;;) {
            const Result result = CopyWith(offset, end);
            if (result != Result::kUnsupported)
                return result == Result::kDone;
            if (method_ == Method::kReading)
                return false;
            method_ = method_ == Method::kKernel ? Method::kSendfile : Method::kReading;
            first_ = true;
        }
    }

  private:
    Result CopyWith(off_t& offset, off_t end) {
        while (offset < end) {
            const size_t length = static_cast<size_t>(std::min<off_t>(end - offset, chunk_));
            const ssize_t copied = CopyStep(method_, from_, to_, offset, length, buffer_);
            if (copied == 0)
                return Result::kDone;
            if (copied < 0) {
                if (errno == EINTR)
                    continue;
                return first_ && CanFallBack(errno) ? Result::kUnsupported : Result::kFailed;
            }
            first_ = false;
            ReportItemProgress(static_cast<uint64_t>(offset));
            // A stop of the run gives the copy up between chunks; the caller removes what it wrote.
            if (StopRequested()) {
                errno = ECANCELED;
                return Result::kFailed;
            }
        }
        return Result::kDone;
    }

    int from_;
    int to_;
    size_t chunk_;
    Method method_ = Method::kKernel;
    bool first_ = true;
    std::vector<char> buffer_;
};

// Where the next data range at or after `offset` lies, within [offset, end]; a file system
// without SEEK_DATA has one range, its whole content.
void NextDataRange(int from, off_t offset, off_t end, off_t& data, off_t& hole) {
    data = lseek(from, offset, SEEK_DATA);
    if (data < 0) {
        // ENXIO: only a hole is left before the end.
        data = errno == ENXIO ? end : offset;
        hole = end;
        return;
    }
    data = std::min(data, end);
    hole = lseek(from, data, SEEK_HOLE);
    if (hole <= data || hole > end)
        hole = end;
}

// Copies only the data ranges, so holes stay holes; the final size makes a trailing hole. The
// size taken when the source was opened bounds the copy, so a file that grows meanwhile cannot
// keep it going; one that shrinks ends it where its data ends.
bool CopyContents(int from, int to, off_t size) {
    RangeCopier copier(from, to);
    off_t offset = 0;
    // A file that reports no size may still have contents (the kernel's own files do): it is
    // read to its end.
    if (size == 0)
        return copier.Copy(offset, std::numeric_limits<off_t>::max());
    while (offset < size) {
        off_t data = 0;
        off_t hole = 0;
        NextDataRange(from, offset, size, data, hole);
        offset = data;
        if (!copier.Copy(offset, hole))
            return false;
        if (offset < hole)
            size = offset;
    }
    return posix::Calls().ftruncate(to, size) == 0;
}

// A leading dot hides the temporaries from a listing.
constexpr std::string_view kTemporaryMark = ".";

// A hidden name that no script names, unique enough that a clash only costs another attempt.
std::string TemporaryName(const std::string& directory, int attempt) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t serial = static_cast<uint64_t>(now.tv_nsec) + static_cast<uint64_t>(attempt);
    return directory + "/" +
           backend::TemporaryEntryName(kTemporaryMark, static_cast<uint32_t>(getpid()), serial);
}

int CreateTemporary(const std::string& directory, std::string& temporary) {
    int fd = -1;
    MakeTemporaryEntry(
        directory,
        [&fd](const std::string& name) {
            fd = posix::Calls().open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            return fd >= 0;
        },
        temporary);
    return fd;
}

// Attributes before permissions (Linux guards extended attributes with the write permission),
// and the time last, after every write.
bool FinishCopy(int from, int to, const struct stat& source, bool keepOwner) {
    if (keepOwner && posix::Calls().fchown(to, source.st_uid, source.st_gid) != 0 && errno != EPERM)
        return false;
    if (!CopyStoredAttributes(from, to))
        return false;
    if (posix::Calls().fchmod(to, source.st_mode & 0777) != 0)
        return false;
    const timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
    return posix::Calls().futimens(to, times) == 0;
}

}  // namespace

bool MakeTemporaryEntry(const std::string& directory,
                        const std::function<bool(const std::string&)>& make,
                        std::string& temporary) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temporary = TemporaryName(directory == "/" ? std::string() : directory, attempt);
        if (make(temporary))
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

namespace {

// Writes a complete copy of the open regular file `sourceFd` (described by `source`) to a new
// temporary file in `directory`, with its permissions, stored attributes and last-write time
// (and its owner when `keepOwner` is set and the process may give files away). On success
// `temporary` names it; on failure nothing is left behind.
bool WriteTemporaryCopy(int sourceFd, const struct stat& source, const std::string& directory,
                        bool keepOwner, std::string& temporary) {
    FileDescriptor file(CreateTemporary(directory, temporary));
    if (!file.IsOpen())
        return false;
    const bool written = CopyContents(sourceFd, file.Get(), source.st_size) &&
                         FinishCopy(sourceFd, file.Get(), source, keepOwner);
    // A write error may first show when the file is closed.
    const bool closed = file.Close();
    if (written && closed)
        return true;
    posix::Calls().unlink(temporary.c_str());
    return false;
}

}  // namespace

}  // namespace posix

namespace {

// Only "no such process" tells that the maker has gone: one that may not be signalled still runs,
// and a number that no process can have was never written here.
bool StillRuns(uint32_t processId) {
    if (processId > static_cast<uint32_t>(std::numeric_limits<pid_t>::max()))
        return true;
    const pid_t process = static_cast<pid_t>(processId);
    return process == getpid() || kill(process, 0) == 0 || errno != ESRCH;
}

}  // namespace

// Files and links are all the temporaries ever are; anything else of such a name is not ours.
void RemoveAbandonedTemporaries(const std::string& directory) {
    std::string native;
    if (!posix::ToFilePath(directory, native))
        return;
    const std::unique_ptr<DIR, int (*)(DIR*)> opened(opendir(native.c_str()), closedir);
    if (!opened)
        return;
    const int directoryFd = dirfd(opened.get());
    while (const dirent* found = readdir(opened.get())) {
        uint32_t owner = 0;
        struct stat status {};
        if (!backend::ParseTemporaryEntryName(found->d_name, posix::kTemporaryMark, owner) ||
            StillRuns(owner) ||
            fstatat(directoryFd, found->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !(S_ISREG(status.st_mode) || S_ISLNK(status.st_mode)))
            continue;
        posix::Calls().unlink(Child(native, found->d_name).c_str());
    }
}

// --- Copying, moving and removing ----------------------------------------------------------------
// File and directory changes with the refusals of Windows: read-only and hidden destinations
// are not overwritten, read-only files and directories are not removed, moves never replace.

namespace {

// Only a regular file, or a link as the link, is ever replaced: a device, a pipe or a socket
// would be swapped for a plain file, and a directory cannot be.
bool IsReplaceable(const struct stat& status) {
    return S_ISREG(status.st_mode) || S_ISLNK(status.st_mode);
}

// What Windows will not copy over: the source itself, a read-only or hidden file; and what is
// not a file at all.
bool MayReplace(const std::string& native, const struct stat& source) {
    struct stat status {};
    if (lstat(native.c_str(), &status) != 0)
        return errno == ENOENT;
    errno = EACCES;  // what Windows reports for each refusal below
    if (!IsReplaceable(status) || IsSameFile(status, source) || posix::IsReadOnly(status))
        return false;
    return S_ISLNK(status.st_mode) ||
           (posix::ReadStoredAttributes(native, status) & kAttributeHidden) == 0;
}

// Renames without ever replacing an existing entry, atomically where the file system can refuse
// by itself. Elsewhere a file gets its new name as a second link first, which cannot replace
// anything either; a directory has only a test just before the rename.
bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
    if (posix::Calls().renameAt2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) ==
        0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    struct stat status {};
    if (lstat(from.c_str(), &status) != 0)
        return false;
    if (!S_ISDIR(status.st_mode)) {
        if (posix::Calls().link(from.c_str(), to.c_str()) != 0)
            return false;
        if (posix::Calls().unlink(from.c_str()) == 0)
            return true;
        const int error = errno;
        posix::Calls().unlink(to.c_str());
        errno = error;
        return false;
    }
    struct stat existing {};
    if (lstat(to.c_str(), &existing) == 0 || errno != ENOENT) {
        errno = EEXIST;
        return false;
    }
    return posix::Calls().rename(from.c_str(), to.c_str()) == 0;
}

// Puts a finished temporary file in place of the destination, or beside nothing when
// `replace` is false; the temporary file is gone afterwards in either case.
bool PlaceTemporary(const std::string& temporary, const std::string& destination, bool replace) {
    const bool placed = replace ? posix::Calls().rename(temporary.c_str(), destination.c_str()) == 0
                                : RenameWithoutReplacing(temporary, destination);
    if (!placed)
        posix::Calls().unlink(temporary.c_str());
    return placed;
}

// O_NONBLOCK keeps a FIFO from blocking the open; it is refused as no regular file right after.
int OpenSource(const std::string& from, bool throughLinks) {
    const int noFollow = throughLinks ? 0 : O_NOFOLLOW;
    return posix::Calls().open(from.c_str(),
                               O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | noFollow, 0);
}

bool CopyOpenFile(const posix::FileDescriptor& source, const std::string& to, bool replace,
                  bool keepOwner) {
    struct stat status {};
    if (!source.IsOpen() || fstat(source.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    if (replace && !MayReplace(to, status))
        return false;
    std::string temporary;
    return posix::WriteTemporaryCopy(source.Get(), status, posix::ParentOf(to), keepOwner,
                                     temporary) &&
           PlaceTemporary(temporary, to, replace);
}

bool CopyRegularFile(const std::string& from, const std::string& to, bool replace, bool keepOwner) {
    return CopyOpenFile(posix::FileDescriptor(OpenSource(from, true)), to, replace, keepOwner);
}

// A new link with the same target text under a temporary name in `directory`.
bool WriteTemporaryLink(const std::string& from, const std::string& directory,
                        std::string& temporary) {
    std::string target;
    return ReadLinkText(from, target) &&
           posix::MakeTemporaryEntry(
               directory,
               [&target](const std::string& name) {
                   return posix::Calls().symlink(target.c_str(), name.c_str()) == 0;
               },
               temporary);
}

// The link itself is copied, as `cp -a` copies it: what it leads to is never read.
bool CopyLink(const std::string& from, const std::string& to) {
    struct stat status {};
    std::string temporary;
    return lstat(from.c_str(), &status) == 0 && S_ISLNK(status.st_mode) && MayReplace(to, status) &&
           WriteTemporaryLink(from, posix::ParentOf(to), temporary) &&
           PlaceTemporary(temporary, to, true);
}

// A complete twin of a file or a link beside `to`, ready to be renamed into place.
bool WriteTemporaryTwin(const std::string& from, const struct stat& status, const std::string& to,
                        std::string& temporary) {
    const std::string directory = posix::ParentOf(to);
    if (S_ISLNK(status.st_mode))
        return WriteTemporaryLink(from, directory, temporary);
    const posix::FileDescriptor source(OpenSource(from, false));
    struct stat opened {};
    return source.IsOpen() && fstat(source.Get(), &opened) == 0 && IsSameFile(opened, status) &&
           S_ISREG(opened.st_mode) &&
           posix::WriteTemporaryCopy(source.Get(), opened, directory, true, temporary);
}

// Another file system: files and links are copied, and the source goes only once the copy is
// complete; if it cannot go, the copy is taken back, so the move fails as a whole.
bool MoveAcross(const std::string& from, const std::string& to, const struct stat& status) {
    struct stat existing {};
    std::string temporary;
    if (lstat(to.c_str(), &existing) == 0 || !WriteTemporaryTwin(from, status, to, temporary) ||
        !PlaceTemporary(temporary, to, false))
        return false;
    if (posix::Calls().unlink(from.c_str()) == 0)
        return true;
    posix::Calls().unlink(to.c_str());
    return false;
}

// The old file keeps a second name until the source is gone, so that a failure can put it back:
// a hard link where the file system has them, else the old file renamed aside for the moment.
bool KeepAside(const std::string& file, std::string& kept) {
    const std::string directory = posix::ParentOf(file);
    const auto linkTo = [&file](const std::string& name) {
        return posix::Calls().link(file.c_str(), name.c_str()) == 0;
    };
    const auto renameTo = [&file](const std::string& name) {
        return RenameWithoutReplacing(file, name);
    };
    return posix::MakeTemporaryEntry(directory, linkTo, kept) ||
           posix::MakeTemporaryEntry(directory, renameTo, kept);
}

// Gives the kept file its name again. A hard link of a file that is still in place only goes:
// rename() would leave both names when they lead to one file.
void PutBack(const std::string& kept, const std::string& file) {
    struct stat keptStatus {};
    struct stat fileStatus {};
    if (lstat(kept.c_str(), &keptStatus) == 0 && lstat(file.c_str(), &fileStatus) == 0 &&
        IsSameFile(keptStatus, fileStatus)) {
        posix::Calls().unlink(kept.c_str());
        return;
    }
    posix::Calls().rename(kept.c_str(), file.c_str());
}

// Another file system: a complete twin is made beside the old file and renamed over it; only
// then does the source go. If it cannot go, the old file is put back.
bool ReplaceAcross(const std::string& from, const std::string& to, const struct stat& status) {
    std::string temporary;
    std::string kept;
    if (!WriteTemporaryTwin(from, status, to, temporary))
        return false;
    if (!KeepAside(to, kept)) {
        posix::Calls().unlink(temporary.c_str());
        return false;
    }
    if (posix::Calls().rename(temporary.c_str(), to.c_str()) == 0 &&
        posix::Calls().unlink(from.c_str()) == 0) {
        posix::Calls().unlink(kept.c_str());
        return true;
    }
    PutBack(kept, to);
    posix::Calls().unlink(temporary.c_str());
    return false;
}

// A move replaces what a copy may replace, hidden files included (Windows removes them to make
// room), but never the moved file itself under another name.
bool MayMoveOver(const struct stat& existing, const std::string& to, const struct stat& source) {
    struct stat reached {};
    const bool leadsToSource = stat(to.c_str(), &reached) == 0 && IsSameFile(reached, source);
    return IsReplaceable(existing) && !posix::IsReadOnly(existing) &&
           !IsSameFile(existing, source) && !leadsToSource;
}

}  // namespace

namespace backend {

bool AttemptCopyFileTo(const std::string& from, const std::string& to) {
    std::string source;
    std::string destination;
    return posix::ToFilePath(from, source) && posix::ToFilePath(to, destination) &&
           posix::IsCreatableName(destination) && CopyRegularFile(source, destination, true, false);
}

// Opening without following tells a link (ELOOP) from a file in the same call that opens the file.
bool AttemptCopyEntryTo(const std::string& from, const std::string& to) {
    std::string source;
    std::string destination;
    if (!posix::ToFilePath(from, source) || !posix::ToFilePath(to, destination) ||
        !posix::IsCreatableName(destination))
        return false;
    posix::FileDescriptor file(OpenSource(source, false));
    if (!file.IsOpen())
        return errno == ELOOP && CopyLink(source, destination);
    return CopyOpenFile(file, destination, true, false);
}

bool AttemptMoveEntry(const std::string& from, const std::string& to) {
    std::string source;
    std::string destination;
    struct stat status {};
    if (!posix::ToFilePath(from, source) || !posix::ToFilePath(to, destination) ||
        !posix::IsCreatableName(destination) || lstat(source.c_str(), &status) != 0)
        return false;
    if (source == destination)
        return true;  // Windows accepts a move onto the same name
    if (RenameWithoutReplacing(source, destination))
        return true;
    return errno == EXDEV && MoveAcross(source, destination, status);
}

bool AttemptMoveFileOver(const std::string& from, const std::string& to) {
    std::string source;
    std::string destination;
    struct stat status {};
    struct stat existing {};
    if (!posix::ToFilePath(from, source) || !posix::ToFilePath(to, destination) ||
        !posix::IsCreatableName(destination) || lstat(source.c_str(), &status) != 0 ||
        S_ISDIR(status.st_mode))
        return false;
    if (lstat(destination.c_str(), &existing) != 0)
        return errno == ENOENT && AttemptMoveEntry(from, to);
    if (!MayMoveOver(existing, destination, status))
        return false;
    if (posix::Calls().rename(source.c_str(), destination.c_str()) == 0)
        return true;
    return errno == EXDEV && ReplaceAcross(source, destination, status);
}

// A link to a directory is a directory entry on Windows: RemoveEmptyDirectory takes it.
bool AttemptDeleteFileEntry(const std::string& path) {
    std::string native;
    std::string entry;
    struct stat status {};
    if (!posix::ToFilePath(path, native) || !posix::LookUpEntry(native, entry, status))
        return false;
    if (posix::IsDirectoryEntry(entry, status) || posix::IsReadOnly(status)) {
        errno = EACCES;  // as Windows refuses them
        return false;
    }
    return posix::Calls().unlink(entry.c_str()) == 0;
}

bool AttemptMakeDirectory(const std::string& path) {
    std::string native;
    return posix::ToFilePath(path, native) && posix::IsCreatableName(native) &&
           posix::Calls().mkdir(native.c_str(), 0777) == 0;
}

// A link to a directory goes as the link, whatever lies behind it, as Windows removes its
// directory links.
bool AttemptRemoveEmptyDirectory(const std::string& path) {
    std::string native;
    std::string entry;
    struct stat status {};
    if (!posix::ToFilePath(path, native) || !posix::LookUpEntry(native, entry, status))
        return false;
    if (S_ISLNK(status.st_mode))
        return posix::IsDirectoryEntry(entry, status) && posix::Calls().unlink(entry.c_str()) == 0;
    if (!S_ISDIR(status.st_mode) || posix::IsReadOnly(status))
        return false;
    return posix::Calls().rmdir(entry.c_str()) == 0;
}

int ErrorNumber() {
    return errno;
}

void SetErrorNumber(int code) {
    errno = code;
}

int AccessDeniedNumber() {
    return EACCES;
}

}  // namespace backend

std::string ErrorText(int code) {
    return std::strerror(code);
}

// --- Reading without sharing ---------------------------------------------------------------------
// As the checksums read a file, and as its last-write date is read.

namespace {

// Another process that opens the file while the lease is held breaks the lease, and the kernel
// tells the holder with SIGIO, whose default action ends the process. SIGIO is ignored while the
// lease is held (nothing else in this program uses it), so that notice is discarded. Ignoring it
// once more after the lease is given back discards a notice that stayed pending because a thread
// had SIGIO blocked; then the previous action returns.
class LeaseNoticesIgnored {
  public:
    LeaseNoticesIgnored() { Ignore(&previous_); }
    ~LeaseNoticesIgnored() {
        Ignore(nullptr);
        sigaction(SIGIO, &previous_, nullptr);
    }
    LeaseNoticesIgnored(const LeaseNoticesIgnored&) = delete;
    LeaseNoticesIgnored& operator=(const LeaseNoticesIgnored&) = delete;

  private:
    static void Ignore(struct sigaction* previous) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGIO, &ignore, previous);
    }

    struct sigaction previous_ {};
};

// Windows opens the file without sharing, which fails while anyone else holds it open. A write
// lease can be taken only when no other descriptor of the file is open anywhere; it is given
// back at once. Where leases are unavailable (not the owner, or a file system without them) the
// open alone decides.
bool IsHeldOpenElsewhere(int fd) {
    const LeaseNoticesIgnored ignored;
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        fcntl(fd, F_SETLEASE, F_UNLCK);
        return false;
    }
    return errno == EAGAIN || errno == EBUSY;
}

}  // namespace

namespace posix {
namespace {

// Opens an engine path for reading as Windows opens a file without sharing: only a regular file,
// and not while another process holds it open. Not open on failure; `status` describes the file.
FileDescriptor OpenUnshared(const std::string& enginePath, struct stat& status) {
    std::string native;
    if (!ToFilePath(enginePath, native))
        return FileDescriptor();
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused as no regular file right after.
    FileDescriptor file(
        posix::Calls().open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0));
    if (!file.IsOpen() || fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        IsHeldOpenElsewhere(file.Get()))
        return FileDescriptor();
    return file;
}

}  // namespace
}  // namespace posix

struct UnsharedFile::State {
    posix::FileDescriptor file;
    struct stat status {};
};

UnsharedFile::UnsharedFile() = default;
UnsharedFile::~UnsharedFile() = default;

bool UnsharedFile::Open(const std::string& path) {
    state_ = std::make_unique<State>();
    state_->file = posix::OpenUnshared(path, state_->status);
    if (!state_->file.IsOpen()) {
        state_.reset();
        return false;
    }
    posix_fadvise(state_->file.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

bool UnsharedFile::GetSize(uint64_t& size) {
    if (!state_)
        return false;
    size = static_cast<uint64_t>(state_->status.st_size);
    return true;
}

bool UnsharedFile::Read(unsigned char* data, size_t capacity, size_t& count) {
    if (!state_)
        return false;
    for (;;) {
        const ssize_t got = posix::Calls().read(state_->file.Get(), data, capacity);
        if (got >= 0) {
            count = static_cast<size_t>(got);
            return true;
        }
        if (errno != EINTR)
            return false;
    }
}

bool ReadLastWriteDate(const std::string& path, LocalDate& date) {
    struct stat status {};
    const posix::FileDescriptor file = posix::OpenUnshared(path, status);
    tm local{};
    if (!file.IsOpen() || localtime_r(&status.st_mtime, &local) == nullptr)
        return false;
    date.year = static_cast<uint16_t>(local.tm_year + 1900);
    date.month = static_cast<uint16_t>(local.tm_mon + 1);
    date.day = static_cast<uint16_t>(local.tm_mday);
    return true;
}

}  // namespace updater::platform
