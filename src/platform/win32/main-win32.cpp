#include <windows.h>

#include "engine/updater.h"
#include "platform/win32/internal-win32.h"

// The full command line is taken from the system rather than from the entry point's argument, so
// that the way the program's own name is skipped is ours and the same in every build.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace updater::platform::win32;
    return updater::RunUpdater(Narrow(CommandTail(GetCommandLineW())));
}
