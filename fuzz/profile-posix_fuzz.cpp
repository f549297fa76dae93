// The Linux settings reader on any file content: the parse, then every section and key that the
// text names asked for in the ways a script may write them, at a full and at a small capacity.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "platform/posix/internal-posix.h"

namespace {

using updater::fuzz::Require;
using namespace updater::platform::posix;

constexpr unsigned kFullCapacity = 0x7fff;
constexpr std::string_view kBlanks = " \t\v";
constexpr std::size_t kMostNames = 64;

std::string Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(kBlanks) - first + 1));
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool IsPrefix(const std::string& part, const std::string& whole) {
    return whole.compare(0, part.size(), part) == 0;
}

bool HasLineEnd(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// Lines come whole and never blank; a cut keeps to the room and to the lines before it.
void CheckSection(const IniFile& ini, const std::string& name, unsigned capacity) {
    const std::vector<std::string> full = ProfileSection(&ini, name, kFullCapacity);
    const std::vector<std::string> cut = ProfileSection(&ini, name, capacity);
    Require(ProfileSection(&ini, " " + name + " ", kFullCapacity) == full,
            "spaces around a section name are ignored");
    Require(ProfileSection(&ini, Upper(name), kFullCapacity) == full,
            "section names match without regard to case");
    std::size_t used = 0;
    for (std::size_t i = 0; i < cut.size(); ++i) {
        Require(i < full.size() &&
                    (cut[i] == full[i] || (i + 1 == cut.size() && IsPrefix(cut[i], full[i]))),
                "a cut section is the start of the whole one");
        used += CountCharacters(cut[i]) + 1;
    }
    Require(capacity == 0 || used <= capacity - 1, "the lines and terminators fit the capacity");
    for (const std::string& line : full)
        Require(!line.empty() && !HasLineEnd(line), "a section line is one non-blank line");
}

void CheckValue(const IniFile& ini, const std::string& section, const std::string& key,
                unsigned capacity) {
    const std::string full = ProfileValue(&ini, section, key, "fallback", kFullCapacity);
    const std::string cut = ProfileValue(&ini, section, key, "fallback", capacity);
    Require(ProfileValue(&ini, Upper(section), " " + Upper(key) + " ", "fallback", kFullCapacity) ==
                full,
            "names match without regard to case or surrounding spaces");
    Require(IsPrefix(cut, full) && CountCharacters(cut) + 1 <= (capacity > 0 ? capacity : 1),
            "a cut value is the start of the whole one and fits the capacity");
    Require(!HasLineEnd(full), "a value is part of one line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const IniFile ini(text);
    const unsigned capacity = size > 0 ? data[0] % 48u : 0u;
    // The names as the text writes them, line by line; a file in UTF-16 only seems to name some.
    const bool utf16 = text.rfind("\xFF\xFE", 0) == 0;
    std::string section;
    std::size_t names = 0;
    for (std::size_t start = 0; start < text.size() && names < kMostNames; ++names) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line[0] == '[') {
            section = Trimmed(std::string_view(line).substr(1, line.find(']') - 1));
            Require(utf16 || ini.FindSection(section) != nullptr,
                    "every section written can be found");
            CheckSection(ini, section, capacity);
        } else if (line.find('=') != std::string::npos) {
            CheckValue(ini, section, Trimmed(line.substr(0, line.find('='))), capacity);
        }
    }
    return 0;
}
