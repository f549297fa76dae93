// Holds a file open without sharing its deletion, as a program that has it in use would, so that
// neither a removal nor a rename of it succeeds. Started as `holder FILE RELEASE`, it opens FILE,
// hands the handle to a copy of itself and ends, so that a waiting starter goes on only once the
// file is held. The copy lets go when the file RELEASE appears (it removes it then), or after two
// minutes.
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3)
        return 2;
    if (argc == 4) {
        const HANDLE held = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(_wtoi64(argv[3])));
        for (int waited = 0; waited < 120000; waited += 20) {
            if (GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES)
                break;
            Sleep(20);
        }
        CloseHandle(held);
        DeleteFileW(argv[2]);
        return 0;
    }
    SECURITY_ATTRIBUTES inherited{};
    inherited.nLength = sizeof(inherited);
    inherited.bInheritHandle = TRUE;
    const HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherited, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" \"" + argv[1] + L"\" \"" + argv[2] +
                        L"\" " + std::to_wstring(reinterpret_cast<uintptr_t>(file));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return 1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
