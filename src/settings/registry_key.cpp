#include "settings/registry_key.h"

#include <limits>

namespace updater {
namespace {

constexpr const char* kAppPathsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr const char* kDefaultValue = "";
constexpr const char* kPathValue = "PATH";

}  // namespace

RegKey::RegKey(platform::RegistryHandle root, const char* subKey) : root_(root), subKey_(subKey) {}

RegKey::~RegKey() {
    Close();
}

bool RegKey::Open(std::uint32_t access) {
    Close();
    if (root_ == nullptr)
        return false;
    platform::RegistryHandle opened = nullptr;
    if (!platform::OpenRegistryKey(root_, subKey_.CStr(), access, opened))
        return false;
    handle_ = opened;
    return true;
}

std::uint32_t RegKey::GetValueSize(const char* name) {
    std::uint32_t size = 0;
    if (handle_ == nullptr || !platform::QueryRegistryValue(handle_, name, nullptr, size)) {
        return 0;
    }
    return size;
}

bool RegKey::QueryValue(const char* name, String& out) {
    const std::uint32_t size = GetValueSize(name);
    // One zero byte more than the data, so the text is terminated whatever the data holds.
    if (size == 0 || size == std::numeric_limits<std::uint32_t>::max())
        return false;
    if (handle_ == nullptr)
        return false;
    if (!out.Alloc(size + 1))
        return false;
    std::uint32_t read = size;
    return platform::QueryRegistryValue(handle_, name, out.CStr(), read);
}

void RegKey::Close() {
    if (handle_ == nullptr)
        return;
    platform::CloseRegistryKey(handle_);
    handle_ = nullptr;
}

bool RegKey::ReadValue(const char* name, String& out) {
    const bool read = Open(platform::kKeyRead) && QueryValue(name, out);
    Close();
    return read;
}

bool LookupAppPath(const char* appName, String& out, bool wantDefault) {
    const String path = String(kAppPathsKey).Concat(appName);
    RegKey key(platform::LocalMachineRoot(), path.CStr());
    return key.ReadValue(wantDefault ? kDefaultValue : kPathValue, out);
}

}  // namespace updater
