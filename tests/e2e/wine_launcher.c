/* Starts a program with exactly the command line given in WINE_LAUNCH_COMMAND_LINE and returns
 * its exit code. Wine quotes every argument that it hands a program from the Linux side, so the
 * end-to-end cases go through this to give the Updater the same command line on both platforms.
 *
 * Without that variable it only starts what a new Wine prefix starts on first use, slowly: COM's
 * services and the desktop. The harness pays for that once, before the cases. */
#include <objbase.h>
#include <windows.h>

int wmain(void) {
    static wchar_t commandLine[32768];
    if (!GetEnvironmentVariableW(L"WINE_LAUNCH_COMMAND_LINE", commandLine, 32768)) {
        CoInitialize(NULL);
        CoUninitialize();
        GetDesktopWindow();
        return 0;
    }
    SetEnvironmentVariableW(L"WINE_LAUNCH_COMMAND_LINE", NULL);
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, commandLine, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        return 126;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 127;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)exitCode;
}
