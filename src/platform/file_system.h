#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// Files and directories. Paths are the engine's: backslash-separated, UTF-8. Every call keeps the
// contract of the Windows call it stands for, including what Windows refuses.
namespace updater::platform {

constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;
constexpr uint32_t kAttributeReadOnly = 0x01;
constexpr uint32_t kAttributeHidden = 0x02;
constexpr uint32_t kAttributeSystem = 0x04;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kAttributeNormal = 0x80;
// A link to another place (a symbolic link or a junction): never walked into, and deleted or
// moved as itself. Other kinds of reparse point (cloud placeholders, deduplicated files) are
// reported as the plain files and directories they stand for.
constexpr uint32_t kAttributeReparsePoint = 0x400;

// True for a path that begins with a drive ("C:", "c:\App").
inline bool StartsWithDrive(std::string_view path) {
    const bool letter =
        !path.empty() && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return letter && path.size() >= 2 && path[1] == ':';
}

// True for a name holding a wildcard of the directory search ("*" or "?").
inline bool HasWildcards(std::string_view name) {
    return name.find_first_of("*?") != std::string_view::npos;
}

struct FoundEntry {
    std::string name;  // the entry's own (long) name, no directory
    uint32_t attributes = 0;
    uint64_t size = 0;  // in bytes; 0 for a directory
};

// One directory search with the Windows wildcard rules ("*" and "?"; "*.*" also matches names
// without a dot). A pattern without wildcards finds the entry itself, a directory included; a
// pattern ending in a backslash finds nothing. "." and ".." are reported as Windows reports them.
class DirectorySearch {
  public:
    DirectorySearch();
    ~DirectorySearch();
    DirectorySearch(const DirectorySearch&) = delete;
    DirectorySearch& operator=(const DirectorySearch&) = delete;

    // Starts the search and yields its first entry; false when nothing matches or the search
    // cannot start.
    bool Start(const std::string& pattern, FoundEntry& first);
    // The next entry; false when there are no more.
    bool Next(FoundEntry& entry);
    // Ends the search; also done by the destructor.
    void Close();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The attribute bits of a path, or kInvalidAttributes when it does not exist or cannot be reached.
// A link reports kAttributeReparsePoint with the bits of what it leads to.
uint32_t GetEntryAttributes(const std::string& path);
// True for a path longer than the system's calls take (on Linux PATH_MAX bytes or more; on
// Windows more than even its long form holds): what it names can be neither reached nor found
// missing.
bool IsBeyondReach(const std::string& path);
// Sets the settable bits (read-only, hidden, system, archive, ...); 0 clears them all. A link is
// never changed through: what it leads to keeps its attributes.
bool SetEntryAttributes(const std::string& path, uint32_t attributes);
// True when both paths lead to the same existing file or directory, whatever names, links or
// letter case they reach it by; false when either cannot be reached.
bool IsSameEntry(const std::string& first, const std::string& second);
// True when the existing directory `inner`, reached through any links, is the directory `outer`
// or lies anywhere below it; false when either cannot be reached.
bool LiesWithin(const std::string& inner, const std::string& outer);
// Where the system would act for a path, judged by the place rather than by the text: a relative
// path is taken against the working directory, "." and ".." are resolved as the system resolves
// them (on Windows lexically, as GetFullPathNameW does, "\\?\" and "\\.\" forms included),
// and links in the path's directories are followed to where they lead. A link named last is the
// link itself; trailing backslashes do not lead through it.
enum class Place {
    kNowhere,    // the text names no place: the empty text, a drive on Linux
    kRoot,       // a root: "/" on Linux; a drive's root ("C:\") or a share's ("\\srv\share\")
    kInRoot,     // an entry directly in a root ("/x.ini", "C:\*")
    kElsewhere,  // anything deeper
};
Place PlaceOf(const std::string& path);

// Copies a file over an existing regular file that is not read-only (nor hidden, as Windows
// refuses), keeping the last-write time and the attributes. A destination that is not a regular
// file (a directory, a device, a pipe, a socket; on Windows "NUL" or "COM1") is refused. A failed
// copy leaves the destination as it was and never touches the source.
bool CopyFileTo(const std::string& from, const std::string& to);
// As CopyFileTo for an entry met inside a tree: a link is copied as a link with the same target
// and is never read through. False where the system cannot make the link.
bool CopyEntryTo(const std::string& from, const std::string& to);
// Moves or renames a file or a directory; refuses an existing destination. Files may move to
// another file system; directories may not.
bool MoveEntry(const std::string& from, const std::string& to);
// Moves a file (or a link to one, as the link) onto `to`, replacing an existing regular file
// there. The old file is replaced only once the new contents are complete beside it: renamed over
// it on the same file system, copied to a temporary name beside it and renamed on another. A
// read-only destination, one that is not a regular file or a link, and the source itself under
// another name are refused (a hidden file is replaced, as Windows replaces it when moving). When
// the move fails, the old file and the source are both still there.
bool MoveFileOver(const std::string& from, const std::string& to);
// Removes what a run of this program that was stopped part-way left in `directory`: the files and
// links under the temporary names that copies and moves make beside their destinations, whose
// maker no longer runs. Nothing else goes: not another program's files, not the temporaries of a
// run still going, not names that merely look alike. The directory is read once; what cannot be
// removed stays, as it only takes room.
void RemoveAbandonedTemporaries(const std::string& directory);
// Deletes a file, or a link to a file as the link; refuses read-only files and directories.
bool DeleteFileEntry(const std::string& path);
// Creates one directory; its parent must exist, and an existing entry of that name is refused.
bool MakeDirectory(const std::string& path);
// Removes an empty directory, or a link to a directory as the link whatever lies behind it;
// refuses non-empty and read-only directories.
bool RemoveEmptyDirectory(const std::string& path);

// A guard that every change above passes through first, when one is set: it may record the
// change and keep what the change replaces before it is made, or refuse it. While it plans, the
// changes are only announced to it and none is made: each reports success.
enum class ChangeKind {
    kAttributes,
    kCopy,
    kMove,
    kMoveOver,
    kDelete,
    kMakeDirectory,
    kRemoveDirectory,
    kWriteFile,
};
class ChangeGuard {
  public:
    enum class Verdict { kGo, kRefuse, kPlanned };
    virtual ~ChangeGuard() = default;
    // Before the change; kRefuse leaves the thread's error number telling why.
    virtual Verdict Before(ChangeKind kind, const std::string& from, const std::string& to) = 0;
    // After a change that was let go, with whether it was made.
    virtual void After(ChangeKind kind, const std::string& from, const std::string& to,
                       bool made) = 0;
    virtual void StartPlanning() = 0;
    virtual void StopPlanning() = 0;
};
void SetChangeGuard(ChangeGuard* guard);
bool ChangesAreGuarded();
// Announces a group of changes to the guard ahead of making them, by calling `changes` while it
// plans, so that it can record the group at once. False, with nothing called, when no guard is set.
bool PlanChanges(const std::function<void()>& changes);
// A file written by other means (a shortcut) as one guarded change of `path`.
bool WriteGuarded(const std::string& path, const std::function<bool()>& write);

// The last change to the file system that was refused on this thread since ClearLastFailure, as
// the run log reports it: the path refused (the destination of a copy or a move, unless the
// source could not be reached) and the system's error number (errno on Linux, GetLastError on
// Windows). A refusal the program decides itself, as Windows would (a read-only destination, a
// device), carries the access-denied number. Code 0 when nothing was refused.
struct RefusedCall {
    std::string path;
    int code = 0;
};
const RefusedCall& LastFailure();
void ClearLastFailure();
// The system's text for an error number, in UTF-8 without a line break.
std::string ErrorText(int code);

struct LocalDate {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t day = 0;
};

// A regular file opened to be read from start to end without sharing, as the checksums read it,
// and closed with the object: a file that another process holds open cannot be opened, nor can a
// directory or a device.
// While it is open, Windows lets nobody else open it; Linux has no such lock and only tests at
// the open, in the same way as ReadLastWriteDate.
class UnsharedFile {
  public:
    UnsharedFile();
    ~UnsharedFile();
    UnsharedFile(const UnsharedFile&) = delete;
    UnsharedFile& operator=(const UnsharedFile&) = delete;

    bool Open(const std::string& path);
    // The size in bytes, all 64 bits of it.
    bool GetSize(uint64_t& size);
    // The next bytes of the file, at most `capacity` of them; `count` is 0 at the end. False when
    // reading fails.
    bool Read(unsigned char* data, size_t capacity, size_t& count);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The local calendar date of a file's last write. The file is opened for reading without sharing:
// a missing file, a directory, or a file that another process holds open gives false.
bool ReadLastWriteDate(const std::string& path, LocalDate& date);

}  // namespace updater::platform
