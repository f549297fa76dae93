#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "platform/processes.h"
#include "platform/win32/internal-win32.h"

namespace updater::platform {
namespace {

// The full path of a process's program file, through a query that serves 32-bit and 64-bit
// processes alike and needs only the least access a process grants; empty when the process may
// not be opened or queried.
std::string FullProgramPath(DWORD id) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) {
        return std::string();
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(path.size());
        if (QueryFullProcessImageNameW(process, 0, path.data(), &size)) {
            path.resize(size);
            break;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || path.size() >= 0x8000) {
            path.clear();
            break;
        }
        path.resize(path.size() * 2);
    }
    CloseHandle(process);
    return win32::Narrow(path);
}

}  // namespace

bool ListProcesses(std::vector<RunningProcess>& processes) {
    processes.clear();
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        std::string program = FullProgramPath(entry.th32ProcessID);
        // The snapshot's own text is the bare file name.
        if (program.empty()) {
            program = win32::Narrow(entry.szExeFile);
        }
        processes.push_back({entry.th32ProcessID, program});
    }
    CloseHandle(snapshot);
    return !processes.empty();
}

uint32_t CurrentProcessId() {
    return GetCurrentProcessId();
}

bool WaitForProcess(uint32_t id, uint32_t timeout) {
    // The standard rights with SYNCHRONIZE (0x1F0000): a process that refuses them is not
    // waited for.
    const HANDLE process = OpenProcess(STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE, FALSE, id);
    if (process == nullptr) {
        return false;
    }
    WaitForSingleObject(process, timeout);
    CloseHandle(process);
    return true;
}

}  // namespace updater::platform
