#pragma once

#include <optional>

// Test hooks for answers that this machine cannot give. Both backends consult them; the product
// never sets them.
namespace updater::platform::overrides {

// Forces the platform family: true NT, false 95/98/Me; nullopt asks the system.
void SetNtFamily(std::optional<bool> nt);
std::optional<bool> NtFamily();

// Makes every special-folder lookup fail, as on a system that lacks the folders.
void SetSpecialFoldersMissing(bool missing);
bool SpecialFoldersMissing();

}  // namespace updater::platform::overrides
