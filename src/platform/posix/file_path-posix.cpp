#include "platform/posix/file_path-posix.h"

#include "platform/posix/native_path-posix.h"

namespace updater::platform::posix {
namespace {

bool StartsWithDrive(const std::string& path) {
    if (path.size() < 2 || path[1] != ':')
        return false;
    char letter = path[0];
    return (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
}

}  // namespace

bool ToFilePath(const std::string& enginePath, std::string& native) {
    if (enginePath.empty() || StartsWithDrive(enginePath))
        return false;
    native = ToNativePath(enginePath);
    return true;
}

bool IsCreatableName(const std::string& native) {
    std::string::size_type slash = native.rfind('/');
    std::string::size_type start = slash == std::string::npos ? 0 : slash + 1;
    return native.find_first_of("*?", start) == std::string::npos;
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
