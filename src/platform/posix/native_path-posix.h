#pragma once

#include <string>

// The engine writes paths with backslashes; Linux wants slashes. Only this backend translates.
namespace updater::platform::posix {

// A backslash becomes "/" (so "\opt\tool" is "/opt/tool").
std::string ToNativePath(const std::string& enginePath);
// A "/" becomes a backslash.
std::string FromNativePath(const std::string& nativePath);

}  // namespace updater::platform::posix
