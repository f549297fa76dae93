#include "core/system_queries.h"
#include "engine/list_items.h"
#include "engine/record_loader.h"
#include "fileops/file_kinds.h"
#include "fileops/walker.h"
#include "platform/file_system.h"
#include "platform/shortcut.h"
#include "settings/error_box.h"

namespace updater {
namespace {

struct SHORTCUT_INFO : Procedure {
    String src;
    String param;
    String showCmd;  // kept as text; each item is read as a number when it is used
    String dst;
};

// SHOWCMD 1, 2 and 3 as the link object takes them; anything else sets none.
int ShowCommandOf(int showCmd) {
    switch (showCmd) {
        case 1:
            return platform::kShowNormal;
        case 2:
            return platform::kShowMinNoActive;
        case 3:
            return platform::kShowMaximized;
        default:
            return platform::kShowUnset;
    }
}

// The working directory is the target's own directory: for a target in a drive's root that is
// the drive without a backslash, and nothing for a target without a directory.
bool CreateShortcut(const String& target, const String& linkFile, const String& arguments,
                    int showCmd) {
    platform::Shortcut shortcut;
    shortcut.target = target.CStr();
    String directory;
    if (GetDirectoryPart(target.CStr(), directory))
        shortcut.workingDirectory = directory.CStr();
    shortcut.arguments = arguments.CStr();
    shortcut.showCommand = ShowCommandOf(showCmd);
    return platform::WriteGuarded(
        linkFile.CStr(), [&] { return platform::WriteShortcut(linkFile.CStr(), shortcut); });
}

}  // namespace

Procedure* LoadLink(const String& name) {
    return LoadRecord<SHORTCUT_INFO>(name, "SHORTCUT_INFO",
                                     {{"SRC", &SHORTCUT_INFO::src},
                                      {"PARAM", &SHORTCUT_INFO::param},
                                      {"SHOWCMD", &SHORTCUT_INFO::showCmd},
                                      {"DST", &SHORTCUT_INFO::dst}});
}

bool ExecuteLink(Procedure& procedure) {
    auto& record = static_cast<SHORTCUT_INFO&>(procedure);
    return RunListItems(record, record.src, "SRC", [&record](int i, const String& target) {
        String name = GetListItem(record.dst, i);
        const String arguments = GetListItem(record.param, i);
        const int showCmd = record.showCmd.GetToken(i, ",").ToInt();
        // A folder that cannot be made shows as a failing write.
        CreateDirectoryTree(name.GetTokens(0, -2, "\\"));
        // An item without a target or a name (a DST list shorter than SRC) would leave a
        // shortcut to nothing, or one called ".LNK" in the working directory: it fails instead.
        // The extension is added also to a name that already has one.
        const bool written = target.GetLength() > 0 && name.GetLength() > 0 &&
                             CreateShortcut(target, name.Concat(".LNK"), arguments, showCmd);
        if (!written)
            ShowError(kMsgLinkFailed, target.CStr(), name.CStr());
        return written;
    });
}

}  // namespace updater
