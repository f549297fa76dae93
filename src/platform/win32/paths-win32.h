#pragma once

#include <string>
#include <vector>

// How the system reads the text of a path: what it makes of it in full, and where its root ends.
namespace updater::platform::win32 {

// The full path the system makes of a text (GetFullPathNameW): against the working directory or
// the drive's, "." and ".." folded, device names such as "nul.txt" turned into "\\.\nul". A
// "\??\" text is handed to the system as it is, like "\\?\". Empty when the system refuses.
std::wstring FullPathOf(const std::wstring& path);

// "\\?\C:\.." is not folded by the system but may be by a file system; the same text read as a
// "\\.\" path, which the system does fold, shows where such items could lead. Other texts come
// back unchanged.
std::wstring FoldedAsDevicePath(const std::wstring& full);

enum class RootKind {
    kNone,        // not a full path
    kVolume,      // a drive, a volume or a share: files below it can be opened
    kDevice,      // a device, a pipe or some other object that is never opened to be judged
    kIncomplete,  // above any root: "\\server", "\\?\", "\\.\"
};

struct PathParts {
    RootKind kind = RootKind::kNone;
    std::wstring root;                // "C:\", "\\srv\share\", "\\?\C:\", "\\.\pipe\", ...
    std::vector<std::wstring> items;  // the items below the root, empty ones left out
};

// Splits a full path into its root and items at its backslashes (the system's full paths have no
// other separator; past "\\?\" a slash is part of a name).
PathParts SplitFullPath(const std::wstring& full);

// The root followed by the items, each but the last ending in a backslash.
std::wstring JoinPath(const std::wstring& root, const std::vector<std::wstring>& items,
                      size_t count);

}  // namespace updater::platform::win32
