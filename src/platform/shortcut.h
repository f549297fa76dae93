#pragma once

#include <string>

// Shell shortcut files (".lnk"), the files that open a program, a document or a folder.
namespace updater::platform {

// The window state a shortcut opens its target in, as Windows numbers it. kShowUnset stores
// none: the shortcut keeps the default of the shell's link object, which is normal.
constexpr int kShowUnset = 0;
constexpr int kShowNormal = 1;
constexpr int kShowMaximized = 3;
constexpr int kShowMinNoActive = 7;

struct Shortcut {
    std::string target;            // the path it opens, as the script gives it
    std::string workingDirectory;  // empty for none
    std::string arguments;         // empty for none
    int showCommand = kShowUnset;
};

// Writes a shortcut file at `linkFile`, replacing a file of that name as Windows does (never a
// read-only or hidden one, nor anything but a file). The folder must exist. A name that does not
// fit the system's path limit fails rather than being cut. On Windows the shell's link object
// writes the file and decides what it stores (it makes a relative target absolute); on Linux the
// file is written in the published Shell Link Binary File Format with the values as given, and
// appears complete or not at all.
bool WriteShortcut(const std::string& linkFile, const Shortcut& shortcut);

}  // namespace updater::platform
