#include "platform/posix/native_path-posix.h"

#include <algorithm>

namespace updater::platform::posix {

std::string ToNativePath(const std::string& enginePath) {
    std::string native = enginePath;
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

std::string FromNativePath(const std::string& nativePath) {
    std::string engine = nativePath;
    std::replace(engine.begin(), engine.end(), '/', '\\');
    return engine;
}

}  // namespace updater::platform::posix
