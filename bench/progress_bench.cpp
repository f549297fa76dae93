// Times COPY through the built program with and without PROGRESS=1, side by side, and prints the
// figures (medians of the elapsed time and of the processor time): a tree of many small files,
// and large files. PROGRESS=1 is timed in the two forms that
// run here: the run log's events of an unattended run, and the line drawn on a terminal (standard
// error on a pseudo-terminal). Both count the sources first and report every file and every step
// of a large copy; what differs from a run without PROGRESS is the cost of that. The count alone
// (one walk of the sources, as PROGRESS=1 adds it) is timed beside them.
//
//   progress_bench [--program PATH] [--work DIR] [--files N] [--dirs N] [--big-files N]
//                  [--big-mb N] [--rounds N]
//
// --program is the built updater (default: ../updater beside this program); --work is where the
// data is made (default: the current directory). All data is removed afterwards.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "core/string.h"
#include "fileops/walker.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

using updater::bench::EnginePath;
using updater::bench::MakeBigFiles;
using updater::bench::MakeTree;
using updater::bench::Median;
using updater::bench::ParseTreeOptions;
using updater::bench::TreeOptions;

struct Options : TreeOptions {
    Options() { bigMegabytes = 100; }
    std::string program;
};

enum class Form { kWithout, kRunLog, kTerminal, kCountOnly };

const char* NameOf(Form form) {
    switch (form) {
        case Form::kWithout:
            return "without PROGRESS";
        case Form::kRunLog:
            return "PROGRESS=1, run log";
        case Form::kTerminal:
            return "PROGRESS=1, terminal";
        case Form::kCountOnly:
            return "the count alone";
    }
    return "";
}

void WriteScript(const std::string& settings, const std::string& from, const std::string& to,
                 Form form) {
    std::ofstream(settings, std::ios::binary) << "[UPDATER]\r\nNAME=Bench\r\nPROC=Copy\r\n"
                                              << (form == Form::kWithout ? "" : "PROGRESS=1\r\n")
                                              << "[Copy]\r\nMODE=COPY\r\nFROM=" << EnginePath(from)
                                              << "\r\nTO=" << EnginePath(to) << "\r\n";
}

// A pseudo-terminal for the program's standard error; what the program draws on it is read and
// thrown away until the program has ended and closed it.
class Terminal {
  public:
    Terminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        side_ = open(ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
        reader_ = std::thread([fd = master_] {
            char buffer[4096];
            while (read(fd, buffer, sizeof buffer) > 0) {
            }
        });
    }
    ~Terminal() {
        CloseSide();
        if (reader_.joinable())
            reader_.join();
        if (master_ >= 0)
            close(master_);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // The side the program writes to; the child takes it as standard error.
    int side() const { return side_; }
    void CloseSide() {
        if (side_ >= 0)
            close(side_);
        side_ = -1;
    }

  private:
    int master_ = -1;
    int side_ = -1;
    std::thread reader_;
};

std::vector<std::string> Environment(const std::string& directory, Form form) {
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        const std::string name = entry.substr(0, entry.find('='));
        if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "UPDATER_ANSWERS" &&
            name != "UPDATER_LOG")
            environment.push_back(entry);
    }
    if (form != Form::kTerminal) {
        environment.push_back("UPDATER_ANSWERS=");
        environment.push_back("UPDATER_LOG=" + directory + "/run.log");
    }
    return environment;
}

// The time a run took, and the processor time it used (user and system): the second shows the
// program's own work apart from the waits for the disk, which other programs on the machine
// may prolong.
struct Times {
    double seconds = 0;
    double processor = 0;
};

// One timed run of the program in `directory`: unattended with a run log, or attended with its
// standard error on a terminal; or the count of `source` alone, by this program.
Times Run(const std::string& program, const std::string& directory, const std::string& source,
          Form form, bool& ok) {
    sync();  // no dirty data of an earlier run waiting to be written
    std::vector<std::string> environment = Environment(directory, form);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string counted = source;
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    char* countArgv[] = {self.data(), const_cast<char*>("--count"), counted.data(), nullptr};
    std::unique_ptr<Terminal> terminal;
    if (form == Form::kTerminal)
        terminal = std::make_unique<Terminal>();
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(directory.c_str()) != 0 || (terminal && dup2(terminal->side(), 2) < 0))
            _exit(127);
        if (form == Form::kCountOnly)
            execve(self.c_str(), countArgv, envp.data());
        else
            execve(program.c_str(), argv, envp.data());
        _exit(127);
    }
    if (terminal)
        terminal->CloseSide();
    int status = 0;
    rusage usage{};
    ok = child > 0 && wait4(child, &status, 0, &usage) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

// Every form `rounds` times, the order turned each round so that none always comes first.
void Compare(const Options& options, const std::string& work, const std::string& source,
             const char* label) {
    const std::vector<Form> forms = {Form::kWithout, Form::kRunLog, Form::kTerminal,
                                     Form::kCountOnly};
    std::vector<std::vector<double>> seconds(forms.size());
    std::vector<std::vector<double>> processor(forms.size());
    bool ok = true;
    for (int round = 0; round < options.rounds; ++round) {
        for (size_t k = 0; k < forms.size(); ++k) {
            const size_t i = (k + static_cast<size_t>(round)) % forms.size();
            WriteScript(work + "/setup.ini", source, work + "/target", forms[i]);
            bool done = false;
            const Times times = Run(work + "/setup", work, source, forms[i], done);
            seconds[i].push_back(times.seconds);
            processor[i].push_back(times.processor);
            ok = ok && done;
            fs::remove_all(work + "/target");
        }
    }
    std::printf("\n%s\n%-24s %10s %8s %14s %8s\n", label, "form", "time", "ratio", "processor",
                "ratio");
    for (size_t i = 0; i < forms.size(); ++i) {
        const double time = Median(seconds[i]);
        const double used = Median(processor[i]);
        std::printf("%-24s %8.3f s %8.3f %12.3f s %8.3f\n", NameOf(forms[i]), time,
                    time / Median(seconds[0]), used, used / Median(processor[0]));
    }
    if (!ok)
        std::printf("a run FAILED\n");
}

bool ParseOptions(int argc, char** argv, Options& options) {
    return ParseTreeOptions(argc, argv, options, {{"--program", &options.program}});
}

}  // namespace

// What PROGRESS=1 adds before a COPY: one walk of the sources with a visitor that adds up sizes.
int CountBytes(const updater::String& /*path*/, int kind, void* context) {
    if (kind == updater::VisitFile)
        *static_cast<uint64_t*>(context) += updater::VisitedFileSize();
    return 1;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--count") == 0) {
        uint64_t bytes = 0;
        return updater::WalkFiles(updater::String(EnginePath(argv[2]).c_str()), CountBytes, true,
                                  &bytes)
                   ? 0
                   : 1;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // figures appear as they are measured
    Options options;
    options.program =
        (fs::read_symlink("/proc/self/exe").parent_path() / ".." / "updater").string();
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--program PATH] [--work DIR] [--files N] [--dirs N] "
                     "[--big-files N] [--big-mb N] [--rounds N]\n",
                     argv[0]);
        return 2;
    }
    std::string root = fs::absolute(options.work).string() + "/updater-progress-bench-XXXXXX";
    if (mkdtemp(root.data()) == nullptr) {
        std::fprintf(stderr, "cannot make the data directory\n");
        return 1;
    }
    std::printf("program: %s\nwork: %s\nmedian of %d rounds\n", options.program.c_str(),
                root.c_str(), options.rounds);
    int result = 0;
    try {
        fs::copy_file(options.program, root + "/setup");
        MakeTree(root + "/tree", options.files, options.dirs);
        Compare(options, root, root + "/tree",
                (std::to_string(options.files) + " small files in " + std::to_string(options.dirs) +
                 " directories")
                    .c_str());
        fs::remove_all(root + "/tree");
        if (options.bigFiles > 0 && options.bigMegabytes > 0) {
            MakeBigFiles(root + "/big", options.bigFiles, options.bigMegabytes);
            Compare(options, root, root + "/big",
                    (std::to_string(options.bigFiles) + " large files of " +
                     std::to_string(options.bigMegabytes) + " MB")
                        .c_str());
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "benchmark stopped: %s\n", error.what());
        result = 1;
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return result;
}
