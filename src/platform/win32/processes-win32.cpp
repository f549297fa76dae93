#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/processes.h"
#include "platform/progress.h"
#include "platform/win32/internal-win32.h"

// --- Starting programs ------------------------------------------------------------------------
namespace updater::platform {
namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// Inheritable copies of the Updater's standard handles, which the program shares; the Updater's
// own handles keep their flags. Empty where a standard handle is not set.
struct StandardHandles {
    OwnedHandle input;
    OwnedHandle output;
    OwnedHandle error;
};

OwnedHandle InheritableCopy(DWORD which) {
    const HANDLE original = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (original == nullptr || original == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), original, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return OwnedHandle(copy);
}

// The attribute list that lets the program inherit exactly the given handles and no other
// inheritable handle of the Updater.
class InheritanceList {
  public:
    explicit InheritanceList(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            return;
        }
        initialized_ = true;
        if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                      handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
            list_ = list;
        }
    }
    ~InheritanceList() {
        if (initialized_) {
            DeleteProcThreadAttributeList(
                reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data()));
        }
    }
    InheritanceList(const InheritanceList&) = delete;
    InheritanceList& operator=(const InheritanceList&) = delete;

    // Null when the list could not be made.
    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return list_; }

  private:
    std::vector<HANDLE> handles_;
    std::vector<unsigned char> storage_;
    bool initialized_ = false;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// WaitForSingleObject in short steps, to give way to a stop of the run asked for meanwhile (then
// WAIT_TIMEOUT).
DWORD WaitUnlessStopped(HANDLE handle, DWORD timeout) {
    constexpr DWORD kStopCheckInterval = 100;  // milliseconds
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        DWORD step = kStopCheckInterval;
        if (timeout != INFINITE) {
            const ULONGLONG waited = GetTickCount64() - start;
            step = waited >= timeout
                       ? 0
                       : static_cast<DWORD>(std::min<ULONGLONG>(timeout - waited, step));
        }
        const DWORD result = WaitForSingleObject(handle, step);
        if (result != WAIT_TIMEOUT || step == 0 || StopRequested())
            return result;
    }
}

}  // namespace

bool StartProgram(const std::string& commandLine, const std::string& directory, StartWait wait) {
    // CreateProcessW may write into the command line.
    std::wstring line = win32::Widen(commandLine);
    const std::wstring workingDirectory = win32::Widen(directory);

    const StandardHandles standard{InheritableCopy(STD_INPUT_HANDLE),
                                   InheritableCopy(STD_OUTPUT_HANDLE),
                                   InheritableCopy(STD_ERROR_HANDLE)};
    std::vector<HANDLE> shared;
    for (const OwnedHandle* handle : {&standard.input, &standard.output, &standard.error}) {
        if (*handle) {
            shared.push_back(handle->get());
        }
    }
    const InheritanceList inheritance(shared);

    // Without a list that names them, no handle is inherited at all: the program then has
    // standard handles of its own. Where the system refuses the list (console handles of older
    // Windows cannot be named in it), the program is started so.
    const bool canShare = !shared.empty() && inheritance.Get() != nullptr;
    PROCESS_INFORMATION started = {};
    bool created = false;
    for (const bool share : {true, false}) {
        if (share && !canShare) {
            continue;
        }
        STARTUPINFOEXW startup = {};
        startup.StartupInfo.cb = share ? sizeof(STARTUPINFOEXW) : sizeof(STARTUPINFOW);
        if (share) {
            startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
            startup.StartupInfo.hStdInput = standard.input.get();
            startup.StartupInfo.hStdOutput = standard.output.get();
            startup.StartupInfo.hStdError = standard.error.get();
            startup.lpAttributeList = inheritance.Get();
        }
        created = CreateProcessW(nullptr, line.data(), nullptr, nullptr, share ? TRUE : FALSE,
                                 share ? EXTENDED_STARTUPINFO_PRESENT : 0, nullptr,
                                 workingDirectory.c_str(), &startup.StartupInfo, &started) != 0;
        if (created || GetLastError() != ERROR_INVALID_PARAMETER) {
            break;
        }
    }
    if (!created) {
        return false;
    }
    CloseHandle(started.hThread);
    const OwnedHandle process(started.hProcess);
    if (wait == StartWait::kUntilEnded) {
        const DWORD ended = WaitUnlessStopped(process.get(), INFINITE);
        return ended != WAIT_FAILED && ended != WAIT_TIMEOUT;
    }
    // A program without a message queue (a console program) makes this wait fail at once; it
    // has started all the same.
    WaitForInputIdle(process.get(), INFINITE);
    return true;
}

}  // namespace updater::platform

// --- Running processes ------------------------------------------------------------------------
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
    WaitUnlessStopped(process, timeout);
    CloseHandle(process);
    return true;
}

}  // namespace updater::platform
