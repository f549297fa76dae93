#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>

#include "platform/file_changes.h"

namespace updater::platform::backend {
namespace {

constexpr std::string_view kStem = "~updater-";
constexpr std::string_view kSuffix = ".tmp";

int DigitValue(char c, unsigned base) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Digits as printf writes them: at least one, no leading zero but for 0 itself, and no more
// than `limit` holds. They run to the end of `text`.
bool ReadNumber(std::string_view text, unsigned base, uint64_t limit, uint64_t& value) {
    if (text.empty() || (text.size() > 1 && text[0] == '0'))
        return false;
    value = 0;
    for (const char c : text) {
        const int digit = DigitValue(c, base);
        if (digit < 0 || value > (limit - static_cast<uint64_t>(digit)) / base)
            return false;
        value = value * base + static_cast<uint64_t>(digit);
    }
    return true;
}

}  // namespace

std::string TemporaryEntryName(std::string_view mark, uint32_t processId, uint64_t serial) {
    char name[64];
    std::snprintf(name, sizeof name, "~updater-%" PRIu32 "-%" PRIx64 ".tmp", processId, serial);
    return std::string(mark) + name;
}

bool ParseTemporaryEntryName(std::string_view name, std::string_view mark, uint32_t& processId) {
    const std::string_view::size_type prefix = mark.size() + kStem.size();
    if (name.size() <= prefix + kSuffix.size() || name.substr(0, mark.size()) != mark ||
        name.substr(mark.size(), kStem.size()) != kStem ||
        name.substr(name.size() - kSuffix.size()) != kSuffix)
        return false;
    const std::string_view middle = name.substr(prefix, name.size() - prefix - kSuffix.size());
    const std::string_view::size_type dash = middle.find('-');
    uint64_t process = 0;
    uint64_t serial = 0;
    if (dash == std::string_view::npos ||
        !ReadNumber(middle.substr(0, dash), 10, std::numeric_limits<uint32_t>::max(), process) ||
        !ReadNumber(middle.substr(dash + 1), 16, std::numeric_limits<uint64_t>::max(), serial) ||
        process == 0)
        return false;
    processId = static_cast<uint32_t>(process);
    return true;
}

}  // namespace updater::platform::backend
