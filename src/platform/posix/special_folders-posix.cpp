#include <optional>
#include <string>

#include "platform/overrides.h"
#include "platform/posix/native_path-posix.h"
#include "platform/posix/xdg_dirs-posix.h"
#include "platform/system.h"

// Shell special folders on Linux: the XDG user directories and their system-wide counterparts.
// A known folder is found even when its directory does not exist yet, as Windows names its
// standard folders whether or not anything was put there; folders below home need the home
// directory to be known. Linux has no desktop shared by all users, so the all-users desktop is
// the user's own desktop, the only one a desktop environment shows. Numbers of virtual folders
// (printers, network, ...) and of folders without a counterpart are unknown and fail.
namespace updater::platform {
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
