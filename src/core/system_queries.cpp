#include "core/system_queries.h"

#include <cstring>
#include <string>

#include "platform/file_system.h"
#include "platform/system.h"

namespace updater {

bool PathExists(const char* path) {
    platform::DirectorySearch search;
    platform::FoundEntry entry;
    return search.Start(path, entry);
}

bool IsNtPlatform() {
    return platform::IsNtFamily();
}

bool GetSpecialFolder(void* /*owner*/, String& out, int id) {
    std::string path;
    if (!platform::GetSpecialFolderPath(id, path))
        return false;
    return out.Set(path.c_str());
}

bool GetDirectoryPart(const char* path, String& out) {
    const char* lastBackslash = std::strrchr(path, '\\');
    if (lastBackslash == nullptr || lastBackslash == path)
        return false;
    return out.Set(std::string(path, lastBackslash).c_str());
}

}  // namespace updater
