#include <shlobj.h>
#include <windows.h>

#include "platform/overrides.h"
#include "platform/system.h"
#include "platform/win32/internal-win32.h"

namespace updater::platform {
namespace {

// The item-id list belongs to the shell's allocator; without the allocator it cannot be freed.
void FreeItemList(LPITEMIDLIST items) {
    IMalloc* allocator = nullptr;
    if (SHGetMalloc(&allocator) == S_OK) {
        allocator->Free(items);
        allocator->Release();
    }
}

}  // namespace

bool GetSpecialFolderPath(int csidl, std::string& path) {
    if (overrides::SpecialFoldersMissing()) {
        return false;
    }
    LPITEMIDLIST items = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, csidl, &items) != S_OK) {
        return false;
    }
    wchar_t buffer[MAX_PATH] = {};
    const BOOL found = SHGetPathFromIDListW(items, buffer);
    FreeItemList(items);
    if (!found) {
        return false;
    }
    path = win32::Narrow(buffer);
    return true;
}

}  // namespace updater::platform
