#include "platform/overrides.h"

#include <utility>

namespace updater::platform::overrides {
namespace {
std::optional<bool> g_ntFamily;
bool g_specialFoldersMissing = false;
std::optional<std::string> g_moduleFile;
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
void SetModuleFile(std::optional<std::string> path) {
    g_moduleFile = std::move(path);
}
const std::optional<std::string>& ModuleFile() {
    return g_moduleFile;
}

}  // namespace updater::platform::overrides
