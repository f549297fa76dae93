#include "fileops/walker.h"

#include <cstring>
#include <vector>

#include "core/system_queries.h"
#include "fileops/root_guard.h"
#include "platform/file_system.h"
#include "platform/progress.h"

namespace updater {
namespace {

// Handed to the visitor beside the path, so that its size costs no second look at the file.
uint64_t g_visitedSize = 0;

bool IsDotEntry(const platform::FoundEntry& entry) {
    return entry.name == "." || entry.name == "..";
}

// A name holding a backslash (Linux allows one) cannot be written in a script's path: joined to
// its directory it would name another entry. The walk stops on it rather than pass it by, so that
// the procedure fails instead of reporting a tree done that it left partly untouched.
bool IsExpressible(const platform::FoundEntry& entry) {
    return entry.name.find('\\') == std::string::npos;
}

// A walk gives up at its next entry once a stop of the run was asked for.
bool VisitEntry(const String& directory, const platform::FoundEntry& entry, WalkVisitor visitor,
                bool recursive, void* context) {
    if (platform::StopRequested())
        return false;
    const bool isDirectory = (entry.attributes & platform::kAttributeDirectory) != 0;
    const bool isLink = (entry.attributes & platform::kAttributeReparsePoint) != 0;
    if (isDirectory && IsDotEntry(entry))
        return true;
    if (!IsExpressible(entry))
        return false;
    String entryPath = directory.Concat("\\").Concat(entry.name.c_str());
    if (!isDirectory) {
        g_visitedSize = entry.size;
        return visitor(entryPath, VisitFile, context) != 0;
    }
    if (visitor(entryPath, VisitDirEnter, context) == 0)
        return false;
    if (recursive && !isLink && !WalkFiles(entryPath, visitor, true, context))
        return false;
    return visitor(entryPath, VisitDirLeave, context) != 0;
}

// Files met in a row are visited as a group when the changes are guarded: the guard is told the
// group's changes first, so that it can record them all at once.
constexpr size_t kGroupSize = 512;

bool IsFileEntry(const platform::FoundEntry& entry) {
    return (entry.attributes & platform::kAttributeDirectory) == 0 && IsExpressible(entry);
}

bool VisitGroup(const String& directory, std::vector<platform::FoundEntry>& files,
                WalkVisitor visitor, void* context) {
    if (files.size() > 1) {
        platform::PlanChanges([&] {
            for (const platform::FoundEntry& file : files)
                visitor(directory.Concat("\\").Concat(file.name.c_str()), VisitFile, context);
        });
    }
    for (const platform::FoundEntry& file : files) {
        if (!VisitEntry(directory, file, visitor, false, context))
            return false;
    }
    files.clear();
    return true;
}

// A network path's server and share ("\\server\share") cannot be created; neither can the
// drive or root, the first item of every other path.
int FirstCreatableItem(const String& path) {
    return std::strncmp(path.CStr(), "\\\\", 2) == 0 ? 4 : 1;
}

bool EndsWithBackslash(const String& text) {
    int length = text.GetLength();
    return length > 0 && text.CStr()[length - 1] == '\\';
}

}  // namespace

bool GetPathAttributes(const String& path, uint32_t& attributes) {
    attributes = platform::GetEntryAttributes(path.CStr());
    return attributes != platform::kInvalidAttributes;
}

bool IsDirectory(const char* path) {
    uint32_t attributes = 0;
    return GetPathAttributes(path, attributes) && (attributes & platform::kAttributeDirectory) != 0;
}

// A root is never a link; "C:" alone would name the drive's current directory.
bool IsLink(const char* path) {
    if (IsRootPath(String(path)))
        return false;
    uint32_t attributes = 0;
    return GetPathAttributes(WithoutTrailingBackslashes(String(path)), attributes) &&
           (attributes & platform::kAttributeReparsePoint) != 0;
}

String DirectoryPartOf(const String& path) {
    if (path.CountOf("\\") == 0)
        return String(path.GetLength() > 0 ? "." : "");
    return String(path).GetTokens(0, -2, "\\");
}

String WithoutTrailingBackslashes(const String& path) {
    String trimmed(path);
    trimmed.Trim("", "\\");
    return trimmed;
}

// A prefix that ends in a backslash (a doubled or leading backslash) names the same directory as
// the prefix before it, so it is never created. A directory that another process creates between
// the test and the creation is as good as one made here.
bool CreateDirectoryTree(const String& path, std::vector<String>* made) {
    String target = WithoutTrailingBackslashes(path);
    if (PathExists(target.CStr()))
        return true;
    const int count = target.CountTokens("\\");
    for (int i = FirstCreatableItem(target); i < count; ++i) {
        String prefix = target.GetTokens(0, i, "\\");
        if (EndsWithBackslash(prefix) || PathExists(prefix.CStr()))
            continue;
        if (platform::MakeDirectory(prefix.CStr())) {
            if (made != nullptr)
                made->push_back(prefix);
        } else if (!IsDirectory(prefix.CStr())) {
            return false;
        }
    }
    return true;
}

bool WalkFiles(const String& path, WalkVisitor visitor, bool recursive, void* context) {
    String directory;
    String pattern;
    if (recursive && IsDirectory(path.CStr())) {
        directory = WithoutTrailingBackslashes(path);
        pattern = directory.Concat("\\*.*");
    } else {
        pattern = path;
        directory = DirectoryPartOf(pattern);
    }
    platform::DirectorySearch search;
    platform::FoundEntry entry;
    if (!search.Start(pattern.CStr(), entry))
        return false;
    const bool grouped = platform::ChangesAreGuarded();
    std::vector<platform::FoundEntry> files;
    do {
        if (grouped && IsFileEntry(entry)) {
            files.push_back(entry);
            if (files.size() < kGroupSize)
                continue;
        }
        if (!VisitGroup(directory, files, visitor, context))
            return false;
        if (grouped && IsFileEntry(entry))
            continue;
        if (!VisitEntry(directory, entry, visitor, recursive, context))
            return false;
    } while (search.Next(entry));
    return VisitGroup(directory, files, visitor, context);
}

uint64_t VisitedFileSize() {
    return g_visitedSize;
}

}  // namespace updater
