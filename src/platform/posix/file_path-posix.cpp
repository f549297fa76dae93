#include "platform/posix/file_path-posix.h"

#include "platform/file_system.h"
#include "platform/posix/native_path-posix.h"

namespace updater::platform::posix {

bool ToFilePath(const std::string& enginePath, std::string& native) {
    if (enginePath.empty() || StartsWithDrive(enginePath))
        return false;
    native = ToNativePath(enginePath);
    return true;
}

bool IsCreatableName(const std::string& native) {
    std::string::size_type slash = native.rfind('/');
    std::string::size_type start = slash == std::string::npos ? 0 : slash + 1;
    return !HasWildcards(std::string_view(native).substr(start));
}

std::string WithoutTrailingSlashes(const std::string& native) {
    std::string::size_type end = native.find_last_not_of('/');
    if (end == std::string::npos)
        return native.empty() ? native : std::string("/");
    return native.substr(0, end + 1);
}

bool EndsWithSlash(const std::string& native) {
    return !native.empty() && native.back() == '/';
}

std::string ParentOf(const std::string& native) {
    std::string::size_type slash = native.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return native.substr(0, slash);
}

}  // namespace updater::platform::posix
