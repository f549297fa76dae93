#pragma once

#include "core/string.h"
#include "engine/procedure.h"

namespace updater {

// The number of items of a procedure's comma-separated list key. An empty list is a script error:
// it is reported here (message 4, naming the procedure and the key) and gives 0.
int CountListItems(const Procedure& procedure, String& list, const char* key);

// Item `index` of a comma-separated key value, spaces trimmed from both ends; empty when the list
// has no such item.
String GetListItem(String& list, int index);

}  // namespace updater
