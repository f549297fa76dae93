#pragma once

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

// What the benchmarks share: one timed run of a whole process, and the median of several.
namespace updater::bench {

struct Measure {
    double seconds = 0;
    long peakKilobytes = 0;
    bool ok = false;
};

// The program is looked up on PATH; standard output goes to `output` when one is named. A child's
// peak memory counts from this process's size (it starts as a copy of it), so that is kept small.
inline Measure RunChild(const std::vector<std::string>& arguments, const std::string& output = "") {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    malloc_trim(0);
    Measure measure;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int file =
            output.empty() ? -1 : open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (file >= 0)
            dup2(file, 1);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return measure;
    measure.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measure.peakKilobytes = usage.ru_maxrss;
    measure.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return measure;
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace updater::bench
