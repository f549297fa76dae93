#include "settings/profile_reader.h"

#include <string>
#include <vector>

#include "core/numbers.h"
#include "platform/profile.h"
#include "settings/error_box.h"
#include "settings/expansion.h"
#include "settings/process_values.h"

namespace updater {

namespace {

// Room for one character more than a value may have, so that a longer value shows as such; the
// readers cut at the room they are given. Windows' own reader takes at most 65,535 characters.
constexpr unsigned kReadCapacity = 2 * kMaxValueLength + 2;

// UTF-8 characters: every byte but the continuation bytes of a sequence starts one.
std::size_t CountCharacters(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    }
    return count;
}

}  // namespace

bool ReadProfileText(const String& file, const char* section, const char* key, String& out) {
    const std::string value =
        platform::ReadProfileString(file.CStr(), section, key, kNoData, kReadCapacity);
    if (String(value.c_str()).EqualsNoCase(kNoData) || CountCharacters(value) > kMaxValueLength)
        return false;
    out = value.c_str();
    return true;
}

bool ReadProfileInt(const String& file, const char* section, const char* key, int& out) {
    String text;
    if (!ReadProfileText(file, section, key, text))
        return false;
    ParseDecimal(text.CStr(), out);
    return true;
}

bool ReadKey(const char* section, const char* key, String& out) {
    if (!ReadProfileText(SettingsPath, section, key, out)) {
        ShowError(kMsgBadFormat, section, key);
        return false;
    }
    ExpandValue(out);
    return true;
}

bool ReadIntKey(const char* section, const char* key, int& out) {
    if (ReadProfileInt(SettingsPath, section, key, out))
        return true;
    ShowError(kMsgBadFormat, section, key);
    return false;
}

int ReadSection(const String& file, const char* section, String& table) {
    const std::vector<std::string> lines =
        platform::ReadProfileSection(file.CStr(), section, kSectionCapacity);
    // Joined once, so a long section is not copied again for every line.
    std::string joined = table.CStr();
    int appended = 0;
    for (const std::string& line : lines) {
        if (!line.empty() && line[0] == ';')
            continue;
        if (!joined.empty())
            joined += '\n';
        joined += line;
        ++appended;
    }
    if (appended > 0)
        table = joined.c_str();
    return appended;
}

}  // namespace updater
