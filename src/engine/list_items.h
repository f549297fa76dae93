#pragma once

#include "core/string.h"
#include "engine/procedure.h"
#include "platform/progress.h"

namespace updater {

// The number of items of a procedure's comma-separated list key. An empty list is a script error:
// it is reported here (message 4, naming the procedure and the key) and gives 0.
int CountListItems(const Procedure& procedure, String& list, const char* key);

// Item `index` of a comma-separated key value, spaces trimmed from both ends; empty when the list
// has no such item.
String GetListItem(String& list, int index);

// The common step of the kinds that work item by item: every item of the list key in order, an
// empty list being message 4. `step(index, item)` reports its own failure and returns false to
// stop the procedure there; a stop of the run asked for meanwhile stops it before the next item.
// Once every item is done, the procedure's outcome is true.
template <typename Step>
bool RunListItems(Procedure& procedure, String& list, const char* key, Step step) {
    const int count = CountListItems(procedure, list, key);
    if (count == 0)
        return false;
    for (int i = 0; i < count; ++i) {
        if (platform::StopRequested() || !step(i, GetListItem(list, i)))
            return false;
    }
    procedure.flag = true;
    return true;
}

}  // namespace updater
