#pragma once

#include <string>

// Questions about the running program and system.
namespace updater::platform {

// Full path of the program's own file.
std::string GetModulePath();
// The Windows directory and the system directory (on Linux, their documented stand-ins).
std::string GetWindowsDirectoryPath();
std::string GetSystemDirectoryPath();
// True on the NT family (always on Linux, unless a test says otherwise).
bool IsNtFamily();
// Whether paths may begin with a drive letter ("C:\"); on Linux such a path is a relative name.
bool HasDriveLetters();
// The file-system path of a shell special folder by its CSIDL number, without a trailing
// backslash added; false, and `path` untouched, when the folder is unknown or missing.
bool GetSpecialFolderPath(int csidl, std::string& path);

// The value of an environment variable; false when it is not set (an empty value is set).
bool GetEnvironmentText(const char* name, std::string& value);
// Appends text to a file, creating it; false when it cannot be written.
bool AppendToFile(const std::string& path, const std::string& text);
// Writes UTF-8 text to standard error when the process has one (on Windows, a program without a
// console has one only when it was redirected); nothing happens otherwise.
void WriteStandardError(const std::string& text);

// Starts and stops the component model on this thread (shortcuts are made through it on Windows).
void StartComponentModel();
void StopComponentModel();

}  // namespace updater::platform
