#pragma once

#include <optional>
#include <string>

// Where the XDG conventions put a user's directories. Results are native paths without a
// trailing slash; nullopt when the home directory itself is unknown.
namespace updater::platform::posix {

// `relative` below `directory`, with exactly one slash between them; `directory` alone when
// `relative` is empty.
std::string JoinPath(const std::string& directory, const std::string& relative);

// $HOME when it holds an absolute path, else the home directory of the password database.
std::optional<std::string> HomeDirectory();

// An XDG base directory: the variable's value when it is an absolute path (relative values are
// invalid and ignored, as the convention says), else `homeRelativeDefault` below home.
std::optional<std::string> XdgBaseDirectory(const char* variable, const char* homeRelativeDefault);

// An XDG user directory such as "DESKTOP" (XDG_DESKTOP_DIR) from user-dirs.dirs in the
// configuration directory, else `homeRelativeDefault` below home.
std::optional<std::string> XdgUserDirectory(const std::string& name,
                                            const char* homeRelativeDefault);

// The value of XDG_<name>_DIR in the text of a user-dirs.dirs file, "$HOME" resolved against
// `home`; the last valid line wins. nullopt when no line sets it.
std::optional<std::string> FindUserDirectoryInText(const std::string& dirsText,
                                                   const std::string& name,
                                                   const std::string& home);

}  // namespace updater::platform::posix
