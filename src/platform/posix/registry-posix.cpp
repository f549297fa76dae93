#include "platform/registry.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include "platform/posix/internal-posix.h"

// Linux has no registry. Its stand-in is an INI file named by UPDATER_REGISTRY: one section per
// key path below the local-machine hive, "@" for a key's default value, other value names as
// written. A value is a string, with one pair of outer quotes removed as the settings reader
// does; a value written "hex:" followed by comma-separated bytes is binary data, as in an export
// of the registry, for the values that are not strings.
namespace updater::platform {

// An open key: the file as it was read when the key was opened, and the key's section in it.
struct RegistryKey {
    std::shared_ptr<const posix::IniFile> file;
    const posix::IniSection* section = nullptr;
    std::string path;
};

namespace {

constexpr const char* kRegistryVariable = "UPDATER_REGISTRY";
constexpr std::string_view kDefaultValueName = "@";
constexpr std::string_view kBinaryPrefix = "hex:";

std::string WithoutTrailingBackslashes(std::string path) {
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           posix::FoldCase(text.substr(0, prefix.size())) == posix::FoldCase(prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The bytes of "41,42, 0a"; nothing when an item is not one or two hexadecimal digits.
std::optional<std::string> ParseBytes(std::string_view list) {
    std::string bytes;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        while (!item.empty() && item.front() == ' ')
            item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ')
            item.remove_suffix(1);
        if (item.empty() || item.size() > 2)
            return std::nullopt;
        int value = 0;
        for (const char c : item) {
            const int digit = HexDigit(c);
            if (digit < 0)
                return std::nullopt;
            value = value * 16 + digit;
        }
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

// What the registry would hand back for the value as it is written in the file.
std::string ValueData(std::string_view written) {
    const std::string_view value = posix::StripOuterQuotes(written);
    if (StartsWithNoCase(value, kBinaryPrefix)) {
        if (std::optional<std::string> bytes = ParseBytes(value.substr(kBinaryPrefix.size()))) {
            return *bytes;
        }
    }
    std::string text(value);
    text.push_back('\0');
    return text;
}

}  // namespace

RegistryHandle LocalMachineRoot() {
    static RegistryKey machine;
    return &machine;
}

bool OpenRegistryKey(RegistryHandle root, const std::string& subKey, std::uint32_t access,
                     RegistryHandle& key) {
    const char* registryFile = std::getenv(kRegistryVariable);
    // The stand-in can only be read.
    if (root == nullptr || registryFile == nullptr || (access & ~kKeyRead) != 0)
        return false;
    const std::string path = WithoutTrailingBackslashes(
        root == LocalMachineRoot() ? subKey : root->path + "\\" + subKey);
    std::shared_ptr<const posix::IniFile> file = posix::LoadIniFile(registryFile);
    const posix::IniSection* section = file != nullptr ? file->FindSection(path) : nullptr;
    if (section == nullptr)
        return false;
    key = new (std::nothrow) RegistryKey{std::move(file), section, path};
    return key != nullptr;
}

bool QueryRegistryValue(RegistryHandle key, const std::string& name, char* data,
                        std::uint32_t& size) {
    if (key == nullptr || key->section == nullptr)
        return false;
    const std::optional<std::string_view> written =
        key->section->FindValue(name.empty() ? kDefaultValueName : std::string_view(name));
    if (!written)
        return false;
    const std::string bytes = ValueData(*written);
    if (data != nullptr) {
        if (bytes.size() > size)
            return false;
        std::memcpy(data, bytes.data(), bytes.size());
    }
    size = static_cast<std::uint32_t>(bytes.size());
    return true;
}

void CloseRegistryKey(RegistryHandle key) {
    if (key != LocalMachineRoot())
        delete key;
}

}  // namespace updater::platform
