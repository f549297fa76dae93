#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include "platform/shortcut.h"
#include "platform/win32/internal-win32.h"

namespace updater::platform {

// The shell's link object, driven over COM, which start-up has made ready on this thread. The
// setters' results are not examined: a target that does not exist is no failure, and what the
// object keeps of each value is its own affair. Only creating it, its file interface and the save
// decide.
bool WriteShortcut(const std::string& linkFile, const Shortcut& shortcut) {
    const std::wstring name = win32::Widen(linkFile);
    // The link object takes names of MAX_PATH characters, terminator included; a longer one
    // would be cut to another name.
    if (name.size() >= MAX_PATH)
        return false;
    IShellLinkW* link = nullptr;
    HRESULT status = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, reinterpret_cast<void**>(&link));
    if (FAILED(status))
        return false;
    link->SetPath(win32::Widen(shortcut.target).c_str());
    link->SetWorkingDirectory(win32::Widen(shortcut.workingDirectory).c_str());
    link->SetArguments(win32::Widen(shortcut.arguments).c_str());
    if (shortcut.showCommand != kShowUnset)
        link->SetShowCmd(shortcut.showCommand);
    IPersistFile* file = nullptr;
    status = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(status)) {
        status = file->Save(name.c_str(), TRUE);
        file->Release();
    }
    link->Release();
    return SUCCEEDED(status);
}

}  // namespace updater::platform
