#pragma once

#include <windows.h>

namespace updater::platform::win32 {

// Windows marks more than links as reparse points: cloud placeholders and deduplicated files
// too. Only a name surrogate (a symbolic link, a junction) leads somewhere else; the others are
// the plain files and directories they stand for and lose the mark. A tag that the system does
// not report (0) keeps it: such an entry is taken for a link, never walked into.
inline DWORD WithLinksMarkedOnly(DWORD attributes, DWORD reparseTag) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && reparseTag != 0 &&
        !IsReparseTagNameSurrogate(reparseTag))
        return attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT);
    return attributes;
}

}  // namespace updater::platform::win32
