#include "core/numbers.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace updater {

// strtol and strtoul read exactly what sscanf's %d and %x read, and saturate where sscanf's
// conversion to int would be undefined.
bool ParseDecimal(const char* text, int& value) {
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (end == text)
        return false;
    value = static_cast<int>(number < INT_MIN ? INT_MIN : number > INT_MAX ? INT_MAX : number);
    return true;
}

bool ParseHex(const char* text, unsigned& value) {
    if (std::strncmp(text, "0x", 2) != 0)
        return false;
    char* end = nullptr;
    const unsigned long number = std::strtoul(text + 2, &end, 16);
    if (end == text + 2)
        return false;
    value = static_cast<unsigned>(number > UINT_MAX ? UINT_MAX : number);
    return true;
}

}  // namespace updater
