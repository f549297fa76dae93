#pragma once

#include <cstdint>
#include <string>

// Reading the registry: keys below the local-machine hive and the data of their values. Names are
// UTF-8 and match without regard to case. A string value's data is its UTF-8 text followed by one
// NUL, as a string value is stored; other values come as stored.
namespace updater::platform {

// Handles are opaque: only the backend knows what stands behind one. Null is no key.
struct RegistryKey;
using RegistryHandle = RegistryKey*;

// The access mask that asks for reading only.
constexpr std::uint32_t kKeyRead = 0x20019;

// The predefined handle of the local-machine hive; it is never closed.
RegistryHandle LocalMachineRoot();

// Opens `subKey` below `root` (the hive or an open key) with `access`; false when the key does not
// exist or cannot be opened so.
bool OpenRegistryKey(RegistryHandle root, const std::string& subKey, std::uint32_t access,
                     RegistryHandle& key);

// With `data` null: sets `size` to the number of bytes of the value `name` ("" is the key's
// default value). Otherwise copies the data into `data`, which holds `size` bytes, and sets `size`
// to the number of bytes copied; false when the data does not fit. False when the value is missing.
bool QueryRegistryValue(RegistryHandle key, const std::string& name, char* data,
                        std::uint32_t& size);

// Closes a key opened by OpenRegistryKey.
void CloseRegistryKey(RegistryHandle key);

}  // namespace updater::platform
