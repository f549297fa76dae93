#include "engine/list_items.h"

#include "settings/error_box.h"

namespace updater {

int CountListItems(const Procedure& procedure, String& list, const char* key) {
    const int count = list.CountTokens(",");
    if (count == 0)
        ShowError(kMsgBadItemCount, procedure.name.CStr(), key);
    return count;
}

String GetListItem(String& list, int index) {
    String item = list.GetToken(index, ",");
    item.Trim(" ");
    return item;
}

}  // namespace updater
