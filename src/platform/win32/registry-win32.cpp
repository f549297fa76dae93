#include "platform/registry.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/internal-win32.h"

// The registry through its wide interface. Strings cross the boundary as UTF-8, so a string
// value's size is that of its UTF-8 text and one terminator, not that of the stored UTF-16 data.
namespace updater::platform {
namespace {

using win32::Narrow;
using win32::Widen;

HKEY ToHkey(RegistryHandle handle) {
    return reinterpret_cast<HKEY>(handle);
}
RegistryHandle ToHandle(HKEY key) {
    return reinterpret_cast<RegistryHandle>(key);
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// UTF-16 data up to its first terminator, or all of it when it was stored without one.
std::string StringData(const std::vector<wchar_t>& stored, DWORD bytes) {
    std::wstring text(stored.data(), bytes / sizeof(wchar_t));
    text.resize(std::wcslen(text.c_str()));
    std::string data = Narrow(text);
    data.push_back('\0');
    return data;
}

// The value's data as the engine sees it; false when the value is missing or cannot be read.
bool ReadValueData(HKEY key, const std::string& name, std::string& data) {
    const std::wstring wideName = Widen(name);
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) {
        return false;
    }
    // Whole wide characters, and one more that stays zero, so that no read runs past the data.
    std::vector<wchar_t> stored(bytes / sizeof(wchar_t) + 2, L'\0');
    DWORD read = bytes;
    if (RegQueryValueExW(key, wideName.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(stored.data()), &read) != ERROR_SUCCESS) {
        return false;
    }
    if (!IsStringType(type) || read == 0) {
        const char* raw = reinterpret_cast<const char*>(stored.data());
        data.assign(raw, raw + read);
        return true;
    }
    data = StringData(stored, read);
    return true;
}

}  // namespace

RegistryHandle LocalMachineRoot() {
    return ToHandle(HKEY_LOCAL_MACHINE);
}

bool OpenRegistryKey(RegistryHandle root, const std::string& subKey, std::uint32_t access,
                     RegistryHandle& key) {
    if (root == nullptr)
        return false;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(ToHkey(root), Widen(subKey).c_str(), 0, access, &opened) != ERROR_SUCCESS) {
        return false;
    }
    key = ToHandle(opened);
    return true;
}

bool QueryRegistryValue(RegistryHandle key, const std::string& name, char* data,
                        std::uint32_t& size) {
    std::string bytes;
    if (key == nullptr || !ReadValueData(ToHkey(key), name, bytes))
        return false;
    if (data != nullptr) {
        if (bytes.size() > size)
            return false;
        std::memcpy(data, bytes.data(), bytes.size());
    }
    size = static_cast<std::uint32_t>(bytes.size());
    return true;
}

void CloseRegistryKey(RegistryHandle key) {
    if (key != nullptr)
        RegCloseKey(ToHkey(key));
}

}  // namespace updater::platform
