#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Starting programs, and looking at and waiting for the programs that run on the machine.
namespace updater::platform {

// A time-out that never runs out, as Windows writes INFINITE.
constexpr uint32_t kNoTimeLimit = 0xFFFFFFFF;

enum class StartWait {
    kUntilEnded,  // until the program has ended; its exit code is not looked at
    kUntilReady,  // until it is ready for input (on Linux: its image has been executed)
};

// Starts a program from a command line as Windows reads one (the program's name first, then its
// parameters), with `directory` as its working directory, and waits as asked. The program keeps
// only standard input, output and error of the Updater, no other handle or descriptor, and on
// Linux no blocked or ignored signal; it is not ended when the Updater ends, and one not waited
// for is never left behind as a zombie. False when it could not be started or the wait for its
// end failed: a program whose name leads to no program, or no program that may be executed,
// never counts as started.
bool StartProgram(const std::string& commandLine, const std::string& directory, StartWait wait);

struct RunningProcess {
    uint32_t id = 0;
    // The full path of the program file, or the bare program name where the system does not
    // tell the path (another user's process, a system process, on Linux a kernel thread).
    std::string program;
};

// Every running process in the order in which the system lists them; false, and the list empty,
// when no list can be had.
bool ListProcesses(std::vector<RunningProcess>& processes);

// The identifier of the Updater's own process.
uint32_t CurrentProcessId();

// Waits until the process has ended or `timeout` milliseconds have passed (kNoTimeLimit: no
// limit), whether or not the Updater started it. False when it cannot be waited for (it has gone,
// or may not be opened); how the wait itself ended is not told.
bool WaitForProcess(uint32_t id, uint32_t timeout);

}  // namespace updater::platform
