#pragma once

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

// What the benchmarks share: one timed run of a whole process, the median of several, and the
// data they copy.
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

inline void WriteFile(const std::string& path, size_t size, unsigned seed) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i)
        content[i] = static_cast<char>('a' + (seed + i * 7) % 26);
    std::ofstream(path, std::ios::binary) << content;
}

// `dirs` directories in two levels with the files spread evenly; small files of 100 to 8,000 bytes.
inline void MakeTree(const std::string& root, int files, int dirs) {
    const int top = std::max(1, static_cast<int>(std::sqrt(dirs / 5.0)));
    std::vector<std::string> directories;
    for (int i = 0; i < dirs; ++i) {
        std::string path = root + "/top" + std::to_string(i % top);
        if (i >= top)
            path += "/dir" + std::to_string(i);
        std::filesystem::create_directories(path);
        directories.push_back(path);
    }
    for (int i = 0; i < files; ++i) {
        const unsigned seed = static_cast<unsigned>(i) * 2654435761u;
        WriteFile(directories[i % dirs] + "/file" + std::to_string(i) + ".dat", 100 + seed % 7900,
                  seed);
    }
}

inline void MakeBigFiles(const std::string& root, int count, int megabytes) {
    std::filesystem::create_directories(root);
    const std::string block(1 << 20, 'x');
    for (int i = 0; i < count; ++i) {
        std::ofstream out(root + "/big" + std::to_string(i) + ".bin", std::ios::binary);
        for (int m = 0; m < megabytes; ++m)
            out << block;
    }
}

// A native path as the engine writes it: absolute, with backslashes.
inline std::string EnginePath(const std::string& native) {
    std::string path = std::filesystem::absolute(native).lexically_normal().string();
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// The data and rounds that the tree benchmarks share; each keeps its own defaults.
struct TreeOptions {
    std::string work = ".";
    int files = 20000;
    int dirs = 2000;
    int bigFiles = 20;
    int bigMegabytes = 50;
    int rounds = 3;
};

// Reads "--name value" pairs into the shared options and into the benchmark's own text options
// named in `texts`. False for an unknown name, a name without a value, or nothing to measure.
inline bool ParseTreeOptions(int argc, char** argv, TreeOptions& options,
                             const std::map<std::string, std::string*>& texts = {}) {
    const std::map<std::string, int*> counts = {
        {"--files", &options.files},        {"--dirs", &options.dirs},
        {"--big-files", &options.bigFiles}, {"--big-mb", &options.bigMegabytes},
        {"--rounds", &options.rounds},
    };
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const auto text = texts.find(name);
        const auto count = counts.find(name);
        if (name == "--work")
            options.work = argv[i + 1];
        else if (text != texts.end())
            *text->second = argv[i + 1];
        else if (count != counts.end())
            *count->second = std::atoi(argv[i + 1]);
        else
            return false;
    }
    return argc % 2 == 1 && options.files > 0 && options.dirs > 0 && options.rounds > 0;
}

}  // namespace updater::bench
