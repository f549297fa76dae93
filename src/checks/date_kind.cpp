#include <cstdint>

#include "checks/check_kinds.h"
#include "engine/list_items.h"
#include "engine/record_loader.h"
#include "platform/file_system.h"

namespace updater {
namespace {

struct DATE_INFO : Procedure {
    String file;
    String date;
};

uint16_t DatePart(String& date, int index) {
    return static_cast<uint16_t>(date.GetToken(index, "/").ToInt());
}

}  // namespace

bool FileDateOnOrAfter(const char* path, const String& date) {
    platform::LocalDate written;
    if (!platform::ReadLastWriteDate(path, written))
        return false;
    String parts = date;
    const uint16_t year = DatePart(parts, 0);
    const uint16_t month = DatePart(parts, 1);
    const uint16_t day = DatePart(parts, 2);
    if (written.year != year)
        return written.year > year;
    if (written.month != month)
        return written.month > month;
    return written.day >= day;
}

Procedure* LoadDate(const String& name) {
    return LoadRecord<DATE_INFO>(name, "DATE_INFO",
                                 {{"FILE", &DATE_INFO::file}, {"DATE", &DATE_INFO::date}});
}

bool ExecuteDate(Procedure& procedure) {
    auto& record = static_cast<DATE_INFO&>(procedure);
    const int count = CountListItems(record, record.file, "FILE");
    if (count == 0)
        return false;
    for (int i = 0; i < count; ++i) {
        const String path = GetListItem(record.file, i);
        if (!FileDateOnOrAfter(path.CStr(), record.date)) {
            record.flag = true;
            return true;
        }
    }
    return true;
}

}  // namespace updater
