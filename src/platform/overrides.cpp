#include "platform/overrides.h"

namespace updater::platform::overrides {
namespace {
std::optional<bool> g_ntFamily;
bool g_specialFoldersMissing = false;
}  // namespace

void SetNtFamily(std::optional<bool> nt) {
    g_ntFamily = nt;
}
std::optional<bool> NtFamily() {
    return g_ntFamily;
}
void SetSpecialFoldersMissing(bool missing) {
    g_specialFoldersMissing = missing;
}
bool SpecialFoldersMissing() {
    return g_specialFoldersMissing;
}

}  // namespace updater::platform::overrides
