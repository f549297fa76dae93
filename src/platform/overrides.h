#pragma once

#include <optional>
#include <string>

// Test hooks for answers that this machine cannot give. Both backends consult them; the product
// never sets them.
namespace updater::platform::overrides {

// Forces the platform family: true NT, false 95/98/Me; nullopt asks the system.
void SetNtFamily(std::optional<bool> nt);
std::optional<bool> NtFamily();

// Makes every special-folder lookup fail, as on a system that lacks the folders.
void SetSpecialFoldersMissing(bool missing);
bool SpecialFoldersMissing();

// Makes the program's own file appear at `path` (engine form), so that a harness keeps the
// settings file beside it in a directory of its own; nullopt asks the system.
void SetModuleFile(std::optional<std::string> path);
const std::optional<std::string>& ModuleFile();

}  // namespace updater::platform::overrides
