// Loads and runs generated scripts of EXIST and SWITCH procedures and prints the time and the peak
// memory of each size, each in a fresh process, so that growth with the script's size shows.
//
// Usage: engine_bench [procedures...]   (default: 1250 2500 5000 10000)

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <string>
#include <vector>

#include "engine/procedure_table.h"
#include "engine/startup.h"
#include "settings/process_values.h"
#include "settings/unattended.h"

namespace {

constexpr size_t kListSize = 30;  // names per list, so that a list stays within 258 characters

struct GeneratedList {
    std::vector<std::string> names;
};

std::string Join(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : ",") + name;
    return joined;
}

// A tree of lists: each begins with an EXIST that finds the script itself, followed by SWITCHes
// on it whose "1" branch is a further list, and EXISTs once the budget runs low.
std::string GenerateScript(int procedures) {
    std::deque<GeneratedList> lists(1);
    std::string sections;
    int next = 0;
    int budget = procedures;
    for (size_t index = 0; index < lists.size() && budget > 0; ++index) {
        const std::string target = "p" + std::to_string(next++);
        sections += "[" + target + "]\nMODE=EXIST\nFILE=<Src>\\bench.ini\n";
        lists[index].names.push_back(target);
        --budget;
        while (lists[index].names.size() < kListSize && budget > 0) {
            const std::string name = "p" + std::to_string(next++);
            --budget;
            lists[index].names.push_back(name);
            if (budget > static_cast<int>(kListSize)) {
                lists.emplace_back();
                sections += "[" + name + "]\nMODE=SWITCH\nPROC=" + target + "\n0=\n1=@" +
                            std::to_string(lists.size() - 1) + "@\n";
            } else {
                sections += "[" + name + "]\nMODE=EXIST\nFILE=<Src>\\bench.ini, <Src>\\*.ini\n";
            }
        }
    }
    for (size_t index = lists.size(); index-- > 0;) {
        const std::string marker = "@" + std::to_string(index) + "@";
        const size_t at = sections.find(marker);
        if (at != std::string::npos)
            sections.replace(at, marker.size(), Join(lists[index].names));
    }
    return "[UPDATER]\nNAME=Bench\nPROC=" + Join(lists[0].names) + "\n" + sections;
}

double RunOnce(const std::string& directory) {
    using namespace updater;
    setenv("UPDATER_ANSWERS", "", 1);
    StartUnattendedMode();
    const auto started = std::chrono::steady_clock::now();
    ModulePath = (directory + "/bench").c_str();
    SettingsPath = (directory + "/bench.ini").c_str();
    for (char* p = ModulePath.CStr(); *p; ++p)
        *p = *p == '/' ? '\\' : *p;
    for (char* p = SettingsPath.CStr(); *p; ++p)
        *p = *p == '/' ? '\\' : *p;
    InitSymbols();
    const bool ok = ReadUpdaterSection() && RunScript();
    FreeAllLists();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    return ok ? elapsed.count() : -1.0;
}

void Measure(int procedures) {
    char pattern[] = "/tmp/updater-bench-XXXXXX";
    const std::string directory = mkdtemp(pattern);
    std::ofstream(directory + "/bench.ini") << GenerateScript(procedures);
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return;
    const pid_t child = fork();
    if (child == 0) {
        const double seconds = RunOnce(directory);
        if (write(pipeFds[1], &seconds, sizeof seconds) != sizeof seconds)
            _exit(1);
        _exit(0);
    }
    double seconds = -1;
    if (read(pipeFds[0], &seconds, sizeof seconds) != sizeof seconds)
        seconds = -1;
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    std::printf("%7d procedures: load and run %8.3f s, peak memory %7.1f MiB\n", procedures,
                seconds, static_cast<double>(usage.ru_maxrss) / 1024.0);
    std::remove((directory + "/bench.ini").c_str());
    rmdir(directory.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes = {1250, 2500, 5000, 10000};
    if (argc > 1)
        sizes.clear();
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    for (int size : sizes)
        Measure(size);
    return 0;
}
