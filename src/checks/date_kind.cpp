#include <cstdint>

#include "checks/check_kinds.h"
#include "engine/record_loader.h"
#include "platform/file_system.h"
#include "settings/error_box.h"

namespace updater {
namespace {

struct DateInfo : Procedure {
    String file;
    String date;
};

uint16_t DatePart(String& date, int index) {
    return static_cast<uint16_t>(date.GetToken(index, "/").ToInt());
}

}  // namespace

bool FileDateOnOrAfter(const char* path, const String& date) {
    platform::LocalDate written;
    if (!platform::ReadLastWriteDate(path, written)) return false;
    String parts = date;
    const uint16_t year = DatePart(parts, 0);
    const uint16_t month = DatePart(parts, 1);
    const uint16_t day = DatePart(parts, 2);
    if (written.year != year) return written.year > year;
    if (written.month != month) return written.month > month;
    return written.day >= day;
}

Procedure* LoadDate(const String& name) {
    return LoadRecord<DateInfo>(name, "DATE_INFO",
                                {{"FILE", &DateInfo::file}, {"DATE", &DateInfo::date}});
}

bool ExecuteDate(Procedure& procedure) {
    auto& record = static_cast<DateInfo&>(procedure);
    const int count = record.file.CountTokens(",");
    if (count == 0) {
        ShowError(kMsgBadItemCount, record.name.CStr(), "FILE");
        return false;
    }
    for (int i = 0; i < count; ++i) {
        String path = record.file.GetToken(i, ",");
        path.Trim(" ");
        if (!FileDateOnOrAfter(path.CStr(), record.date)) {
            record.flag = true;
            return true;
        }
    }
    return true;
}

}  // namespace updater
