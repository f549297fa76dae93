#include "platform/profile.h"

#include <memory>
#include <optional>
#include <string_view>

#include "platform/posix/file_path-posix.h"
#include "platform/posix/ini_cache-posix.h"
#include "platform/posix/ini_file-posix.h"
#include "platform/posix/utf8_text-posix.h"

namespace updater::platform {

namespace {

// Windows ignores spaces around the names asked for, but not tabs or line breaks.
std::string_view TrimSpaces(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string_view TrimTrailingSpaces(std::string_view text) {
    const std::size_t last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

// A buffer of `capacity` characters holds capacity - 1 of them and the terminator.
std::string FitInCapacity(std::string_view text, unsigned capacity) {
    if (capacity == 0)
        return {};
    return std::string(text.substr(0, posix::BytesOfCharacters(text, capacity - 1)));
}

// Every line takes its characters and a terminator, and the list one more terminator. The line
// that does not fit is cut to the room left, and the lines after it are dropped.
std::vector<std::string> FitInCapacity(const std::vector<std::string>& lines, unsigned capacity) {
    std::vector<std::string> fitted;
    std::size_t room = capacity > 0 ? capacity - 1 : 0;
    for (const std::string& line : lines) {
        if (room < 2)
            break;  // not even one character and its terminator
        const std::size_t characters = posix::CountCharacters(line);
        if (characters + 1 > room) {
            fitted.push_back(line.substr(0, posix::BytesOfCharacters(line, room - 1)));
            break;
        }
        fitted.push_back(line);
        room -= characters + 1;
    }
    return fitted;
}

const posix::IniSection* FindBlock(const posix::IniFile* ini, const std::string& section) {
    return ini != nullptr ? ini->FindSection(TrimSpaces(section)) : nullptr;
}

// A path that names nothing on Linux (one with a drive, say) is a missing file.
std::shared_ptr<const posix::IniFile> LoadSettingsFile(const std::string& file) {
    std::string native;
    return posix::ToFilePath(file, native) ? posix::LoadIniFile(native) : nullptr;
}

}  // namespace

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& fallback,
                              unsigned capacity) {
    const std::shared_ptr<const posix::IniFile> ini = LoadSettingsFile(file);
    const posix::IniSection* block = FindBlock(ini.get(), section);
    // An empty key finds a line written "=value", as the Windows reader does; a block without
    // such a line gives the fallback.
    const std::optional<std::string_view> value =
        block != nullptr ? block->FindValue(TrimSpaces(key)) : std::nullopt;
    const std::string_view answer =
        value ? posix::StripOuterQuotes(*value) : TrimTrailingSpaces(fallback);
    return FitInCapacity(answer, capacity);
}

std::vector<std::string> ReadProfileSection(const std::string& file, const std::string& section,
                                            unsigned capacity) {
    const std::shared_ptr<const posix::IniFile> ini = LoadSettingsFile(file);
    const posix::IniSection* block = FindBlock(ini.get(), section);
    return block != nullptr ? FitInCapacity(block->Lines(), capacity) : std::vector<std::string>{};
}

}  // namespace updater::platform
