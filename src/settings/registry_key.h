#pragma once

#include <cstdint>

#include "core/string.h"
#include "platform/registry.h"

namespace updater {

// One key of the registry, read once: constructed, opened, queried and closed in one routine.
class RegKey {
  public:
    RegKey(platform::RegistryHandle root, const char* subKey);
    virtual ~RegKey();
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // Closes first; false when there is no root or the key cannot be opened with `access`.
    bool Open(std::uint32_t access);
    // The number of bytes of the value's data; 0 when the key is closed or the value is missing.
    std::uint32_t GetValueSize(const char* name);
    // The value's data as text. The text always ends inside its block, also when the data holds
    // no terminator of its own (binary values, strings stored without one).
    bool QueryValue(const char* name, String& out);
    void Close();
    // Open for reading, QueryValue, Close; true when both steps succeeded.
    bool ReadValue(const char* name, String& out);

  private:
    platform::RegistryHandle root_;
    String subKey_;
    platform::RegistryHandle handle_ = nullptr;
};

// Where an installed program lives, from its App Paths key in the local-machine hive: the key's
// default value (the program's full path) when `wantDefault` is true, its "PATH" value (the
// program's directory) otherwise. False, `out` unchanged, when there is no such key or value.
bool LookupAppPath(const char* appName, String& out, bool wantDefault);

}  // namespace updater
