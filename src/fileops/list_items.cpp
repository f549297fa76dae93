#include "fileops/list_items.h"

namespace updater {

String GetListItem(String& list, int index) {
    String item = list.GetToken(index, ",");
    item.Trim(" ");
    return item;
}

}  // namespace updater
