#include <windows.h>

#include "engine/updater.h"
#include "platform/win32/internal-win32.h"

namespace {

using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);

// The program is run from wherever a download or a medium put it, often beside files that others
// put there: a library of a system name there must never be taken for the system's. Libraries
// that the program and the system's own libraries load from now on come from the system directory
// alone; where the system cannot say so (before Windows 8 without its update), the current
// directory at least leaves the search. Kernel32 is always loaded, so looking into it loads
// nothing.
void KeepLibrarySearchToTheSystem() {
#ifndef UPDATER_UNRESTRICTED_LIBRARY_SEARCH  // defined by the tests' control build alone
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void*>(
        kernel != nullptr ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
    if (setDefault == nullptr || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        SetDllDirectoryW(L"");
#endif
}

}  // namespace

// The full command line is taken from the system rather than from the entry point's argument, so
// that the way the program's own name is skipped is ours and the same in every build.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    KeepLibrarySearchToTheSystem();
    using namespace updater::platform::win32;
    return updater::RunUpdater(Narrow(CommandTail(GetCommandLineW())));
}
