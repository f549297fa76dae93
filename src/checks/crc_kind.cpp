#include <cstdint>

#include "checks/check_kinds.h"
#include "checks/file_checksum.h"
#include "core/buffer.h"
#include "engine/list_items.h"
#include "engine/record_loader.h"
#include "platform/dialog.h"
#include "settings/message_box.h"

namespace updater {
namespace {

struct CRC_INFO : Procedure {
    String file;
    String type;
    String crc;
};

// The measuring aid: the checksum shown in the form the CRC key takes, so that it can be copied
// into the script.
void ShowChecksum(const CRC_INFO& record, const String& path, uint32_t crc) {
    String text;
    text.Format("PROC\t: %s\nFILE\t: %s\nCRC32\t: 0x%08X", record.name.CStr(), path.CStr(),
                static_cast<unsigned>(crc));
    ShowMessage(text, platform::kStyleIconInformation);
}

// Not an error of the run, which goes on: shown as a box of its own rather than by ShowError.
void ShowUnreadable(const CRC_INFO& record, const String& path) {
    String text;
    text.Format("PROC\t: %s\nFILE\t: %s\nCRC32\t: GetFileData Error.", record.name.CStr(),
                path.CStr());
    ShowMessage(text, platform::kStyleIconError);
}

}  // namespace

Procedure* LoadCrc(const String& name) {
    return LoadRecord<CRC_INFO>(
        name, "CRC_INFO",
        {{"FILE", &CRC_INFO::file}, {"TYPE", &CRC_INFO::type}, {"CRC", &CRC_INFO::crc}});
}

bool ExecuteCrc(Procedure& procedure) {
    auto& record = static_cast<CRC_INFO&>(procedure);
    const int count = CountListItems(record, record.file, "FILE");
    if (count == 0)
        return false;
    const bool allMustMatch = record.type.EqualsNoCase("AND");
    Buffer block;
    for (int i = 0; i < count; ++i) {
        const String path = GetListItem(record.file, i);
        const String expected = GetListItem(record.crc, i);
        uint32_t crc = 0;
        const bool read = ReadFileCrc32(path.CStr(), block, crc);
        if (expected.GetLength() == 0) {
            if (!read) {
                ShowUnreadable(record, path);
                return true;
            }
            ShowChecksum(record, path, crc);
            continue;
        }
        const bool matches = read && crc == static_cast<uint32_t>(expected.HexToInt());
        if (matches != allMustMatch) {
            // The first mismatch decides all-must-match, the first match one-is-enough.
            record.flag = matches;
            return true;
        }
        if (!allMustMatch && i == count - 1)
            return true;
    }
    record.flag = true;
    return true;
}

}  // namespace updater
