#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/processes.h"
#include "platform/system.h"
#include "temp_directory-win32.h"

namespace updater::platform {
namespace {

bool SameText(std::string a, std::string b) {
    return CompareStringOrdinal(win32::Widen(a).c_str(), -1, win32::Widen(b).c_str(), -1, TRUE) ==
           CSTR_EQUAL;
}

// The sleeper built with the tests lies beside them.
std::string SleeperPath() {
    const std::string self = GetModulePath();
    return self.substr(0, self.rfind('\\')) + "\\sleeper.exe";
}

// Ends the sleepers that run, found by their full path, on every way out of a test.
struct SleepersEnded {
    ~SleepersEnded() {
        std::vector<RunningProcess> processes;
        ListProcesses(processes);
        for (const RunningProcess& running : processes) {
            const HANDLE process =
                SameText(running.program, SleeperPath())
                    ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, running.id)
                    : nullptr;
            if (process != nullptr) {
                TerminateProcess(process, 1);
                WaitForSingleObject(process, 30000);
                CloseHandle(process);
            }
        }
    }
};

// Standard output goes to the program; an inheritable handle of the Updater's does not.
TEST(StartProgram, SharesTheStandardHandlesOnly) {
    win32::TempDirectory directory;
    HANDLE outputRead = nullptr;
    HANDLE outputWrite = nullptr;
    ASSERT_TRUE(CreatePipe(&outputRead, &outputWrite, nullptr, 0));
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE heldRead = nullptr;
    HANDLE heldWrite = nullptr;
    ASSERT_TRUE(CreatePipe(&heldRead, &heldWrite, &inheritable, 0));

    const HANDLE savedOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, outputWrite);
    const bool echoed =
        StartProgram("cmd.exe /c echo shared", directory.path(), StartWait::kUntilEnded);
    SetStdHandle(STD_OUTPUT_HANDLE, savedOutput);
    CloseHandle(outputWrite);
    ASSERT_TRUE(echoed);
    char text[64] = {};
    DWORD got = 0;
    ReadFile(outputRead, text, sizeof(text) - 1, &got, nullptr);
    CloseHandle(outputRead);
    EXPECT_EQ(std::string(text, got), "shared\r\n");

    const SleepersEnded ended;
    ASSERT_TRUE(
        StartProgram("\"" + SleeperPath() + "\" 60", directory.path(), StartWait::kUntilReady));
    CloseHandle(heldWrite);
    // With no writer left, the pipe is broken: the sleeper, running a minute, holds no copy.
    DWORD available = 0;
    EXPECT_FALSE(PeekNamedPipe(heldRead, nullptr, 0, nullptr, &available, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
    CloseHandle(heldRead);
}

}  // namespace
}  // namespace updater::platform
