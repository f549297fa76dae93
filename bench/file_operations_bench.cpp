// Times COPY, MOVE and DELETE of the file operations against cp -a, mv and rm -rf on the same
// data, side by side, and prints the figures: a tree of many small files and a set of large files.
// Every timed operation runs in a fresh process (this program, re-executed), so that its peak
// memory is its own.
//
//   file_operations_bench [--work DIR] [--other DIR] [--files N] [--dirs N] [--big-files N]
//                         [--big-mb N] [--rounds N]
//
// --work is where the data is made (default: the current directory); --other a directory on
// another file system for the moves (default: /dev/shm). All data is removed afterwards.

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/string.h"
#include "fileops/copy_move.h"
#include "fileops/delete.h"
#include "fileops/walker.h"

namespace {

using updater::bench::EnginePath;
using updater::bench::MakeBigFiles;
using updater::bench::MakeTree;
using updater::bench::Measure;
using updater::bench::Median;
using updater::bench::ParseTreeOptions;
using updater::bench::RunChild;
using updater::bench::TreeOptions;

namespace fs = std::filesystem;

struct Options : TreeOptions {
    std::string other = "/dev/shm";
};

// --- The operations, run in a child process ---------------------------------------------------

int CountVisit(const updater::String& /*path*/, int /*kind*/, void* context) {
    ++*static_cast<long*>(context);
    return 1;
}

int RunOperation(const std::string& operation, const std::string& from, const std::string& to) {
    updater::String source(EnginePath(from).c_str());
    updater::String target(to.empty() ? "" : EnginePath(to).c_str());
    bool ok = false;
    if (operation == "copy")
        ok = updater::CopyPath(source, target);
    if (operation == "move")
        ok = updater::MovePath(source, target);
    if (operation == "delete")
        ok = updater::DeletePath(source);
    if (operation == "walk") {
        long visits = 0;
        ok = updater::WalkFiles(source, CountVisit, true, &visits);
    }
    return ok ? 0 : 1;
}

// Each timed run starts with no dirty data of an earlier one waiting to be written.
Measure Updater(const std::string& operation, const std::string& from, const std::string& to = "") {
    sync();
    return RunChild({"/proc/self/exe", "--do", operation, from, to});
}

Measure Tool(const std::vector<std::string>& command) {
    sync();
    return RunChild(command);
}

// --- Data -------------------------------------------------------------------------------------

void MakeFlat(const std::string& root, int files) {
    fs::create_directories(root);
    for (int i = 0; i < files; ++i)
        std::ofstream(root + "/f" + std::to_string(i));
}

void MakeChain(const std::string& root, int depth) {
    std::string path = root;
    for (int i = 0; i < depth; ++i) {
        path += "/d" + std::to_string(i);
        fs::create_directories(path);
        std::ofstream(path + "/f");
    }
}

// Names, sizes and last-write times of every entry under a root, for comparing two copies.
std::vector<std::string> Listing(const std::string& root) {
    std::vector<std::string> lines;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string line = fs::relative(entry.path(), root).string();
        if (entry.is_regular_file()) {
            line += " " + std::to_string(entry.file_size()) + " " +
                    std::to_string(entry.last_write_time().time_since_epoch().count());
        }
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// --- Report -----------------------------------------------------------------------------------

double Megabytes(long kilobytes) {
    return static_cast<double>(kilobytes) / 1024.0;
}

struct Pair {
    std::vector<double> ours;
    std::vector<double> theirs;
    long oursPeak = 0;
    long theirsPeak = 0;
    bool ok = true;

    void Add(const Measure& updater, const Measure& tool) {
        ours.push_back(updater.seconds);
        theirs.push_back(tool.seconds);
        oursPeak = std::max(oursPeak, updater.peakKilobytes);
        theirsPeak = std::max(theirsPeak, tool.peakKilobytes);
        ok = ok && updater.ok && tool.ok;
    }
};

void PrintHeader() {
    std::printf("%-22s %12s %12s %7s %12s %12s\n", "operation", "updater", "reference", "ratio",
                "updater RSS", "ref. RSS");
}

void PrintPair(const char* name, const char* reference, const Pair& pair) {
    const double ours = Median(pair.ours);
    const double theirs = Median(pair.theirs);
    std::printf("%-22s %10.3f s %10.3f s %7.2f %9.1f MB %9.1f MB  (%s)%s\n", name, ours, theirs,
                ours / theirs, Megabytes(pair.oursPeak), Megabytes(pair.theirsPeak), reference,
                pair.ok ? "" : "  FAILED");
}

// Runs `ours` and `theirs` `rounds` times, alternating which goes first; `prepare` makes fresh
// input before each run and `check` may compare the two results.
Pair Compare(int rounds, const std::function<void()>& prepare, const std::function<Measure()>& ours,
             const std::function<Measure()>& theirs, const std::function<void()>& cleanUp) {
    Pair pair;
    for (int round = 0; round < rounds; ++round) {
        prepare();
        Measure a;
        Measure b;
        if (round % 2 == 0) {
            a = ours();
            b = theirs();
        } else {
            b = theirs();
            a = ours();
        }
        pair.Add(a, b);
        cleanUp();
    }
    return pair;
}

unsigned long long FreeBytes(const std::string& path) {
    struct statvfs info {};
    if (statvfs(path.c_str(), &info) != 0)
        return 0;
    return static_cast<unsigned long long>(info.f_bavail) * info.f_frsize;
}

bool SameFileSystem(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    return ParseTreeOptions(argc, argv, options, {{"--other", &options.other}});
}

void TreeBenchmarks(const Options& options, const std::string& work, const std::string& other,
                    const char* label, int files, int dirs) {
    const std::string source = work + "/tree";
    MakeTree(source, files, dirs);
    std::printf("\n%s: %d files in %d directories\n", label, files, dirs);
    PrintHeader();
    bool same = true;
    Pair copy = Compare(
        options.rounds, [] {}, [&] { return Updater("copy", source, work + "/u"); },
        [&] {
            return Tool({"cp", "-a", source, work + "/c"});
        },
        [&] {
            same = same && Listing(work + "/u") == Listing(work + "/c");
            fs::remove_all(work + "/u");
            fs::remove_all(work + "/c");
        });
    PrintPair("COPY tree", "cp -a", copy);
    Pair remove = Compare(
        options.rounds,
        [&] {
            Tool({"cp", "-a", source, work + "/u"});
            Tool({"cp", "-a", source, work + "/c"});
        },
        [&] { return Updater("delete", work + "/u"); },
        [&] {
            return Tool({"rm", "-rf", work + "/c"});
        },
        [] {});
    PrintPair("DELETE tree", "rm -rf", remove);
    Pair move = Compare(
        options.rounds,
        [&] {
            Tool({"cp", "-a", source, work + "/u"});
            Tool({"cp", "-a", source, work + "/c"});
        },
        [&] { return Updater("move", work + "/u", other + "/u"); },
        [&] {
            return Tool({"mv", work + "/c", other + "/c"});
        },
        [&] {
            same = same && Listing(other + "/u") == Listing(other + "/c");
            fs::remove_all(other + "/u");
            fs::remove_all(other + "/c");
        });
    PrintPair("MOVE tree across fs", "mv", move);
    Measure walk = Updater("walk", source);
    std::printf("%-22s %10.3f s %28s %9.1f MB\n", "walk only", walk.seconds, "",
                Megabytes(walk.peakKilobytes));
    std::printf("results identical to the reference tools: %s\n", same ? "yes" : "NO");
    fs::remove_all(source);
}

void BigFileBenchmarks(const Options& options, const std::string& work, const std::string& other) {
    const std::string source = work + "/big";
    MakeBigFiles(source, options.bigFiles, options.bigMegabytes);
    std::printf("\nlarge files: %d files of %d MB\n", options.bigFiles, options.bigMegabytes);
    PrintHeader();
    bool same = true;
    Pair copy = Compare(
        options.rounds, [] {}, [&] { return Updater("copy", source, work + "/u"); },
        [&] {
            return Tool({"cp", "-a", source, work + "/c"});
        },
        [&] {
            same = same && Listing(work + "/u") == Listing(work + "/c");
            fs::remove_all(work + "/u");
            fs::remove_all(work + "/c");
        });
    PrintPair("COPY large files", "cp -a", copy);
    Pair move = Compare(
        options.rounds,
        [&] {
            Tool({"cp", "-a", source, work + "/u"});
            Tool({"cp", "-a", source, work + "/c"});
        },
        [&] { return Updater("move", work + "/u", other + "/u"); },
        [&] {
            return Tool({"mv", work + "/c", other + "/c"});
        },
        [&] {
            same = same && Listing(other + "/u") == Listing(other + "/c");
            fs::remove_all(other + "/u");
            fs::remove_all(other + "/c");
        });
    PrintPair("MOVE large across fs", "mv", move);
    Pair remove = Compare(
        options.rounds,
        [&] {
            Tool({"cp", "-a", source, work + "/u"});
            Tool({"cp", "-a", source, work + "/c"});
        },
        [&] { return Updater("delete", work + "/u"); },
        [&] {
            return Tool({"rm", "-rf", work + "/c"});
        },
        [] {});
    PrintPair("DELETE large files", "rm -rf", remove);
    std::printf("results identical to the reference tools: %s\n", same ? "yes" : "NO");
    fs::remove_all(source);
}

// The walk costs the same per entry however wide or deep the tree is.
void WalkScaling(const Options& options, const std::string& work) {
    std::printf("\nwalk scaling (time per visited entry)\n");
    for (int factor : {1, 2}) {
        const int files = options.files * factor;
        MakeFlat(work + "/flat", files);
        Measure walk = Updater("walk", work + "/flat");
        std::printf("  one directory of %6d files: %7.0f ns per entry, %6.1f MB peak\n", files,
                    walk.seconds * 1e9 / files, Megabytes(walk.peakKilobytes));
        fs::remove_all(work + "/flat");
    }
    for (int depth : {100, 200}) {
        MakeChain(work + "/chain", depth);
        Measure walk = Updater("walk", work + "/chain");
        std::printf("  chain %3d directories deep:   %7.0f ns per entry, %6.1f MB peak\n", depth,
                    walk.seconds * 1e9 / (2 * depth), Megabytes(walk.peakKilobytes));
        fs::remove_all(work + "/chain");
    }
}

// A fresh data directory, removed with everything in it however the benchmark ends.
class DataRoot {
  public:
    explicit DataRoot(const std::string& parent) {
        std::string pattern = fs::absolute(parent).string() + "/updater-bench-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~DataRoot() {
        std::error_code ignored;
        if (!path_.empty())
            fs::remove_all(path_, ignored);
    }
    DataRoot(const DataRoot&) = delete;
    DataRoot& operator=(const DataRoot&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--do") == 0)
        return RunOperation(argv[2], argv[3], argv[4]);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // figures appear as they are measured
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--work DIR] [--other DIR] [--files N] [--dirs N] "
                     "[--big-files N] [--big-mb N] [--rounds N]\n",
                     argv[0]);
        return 2;
    }
    const unsigned long long bigBytes =
        static_cast<unsigned long long>(options.bigFiles) * options.bigMegabytes << 20;
    const unsigned long long treeBytes = static_cast<unsigned long long>(options.files) * 8192;
    if (FreeBytes(options.work) < 3 * bigBytes + 4 * treeBytes ||
        FreeBytes(options.other) < 2 * bigBytes + 2 * treeBytes) {
        std::fprintf(stderr, "not enough free space in %s or %s\n", options.work.c_str(),
                     options.other.c_str());
        return 1;
    }
    const DataRoot workRoot(options.work);
    const DataRoot otherRoot(options.other);
    const std::string& work = workRoot.path();
    const std::string& other = otherRoot.path();
    if (work.empty() || other.empty()) {
        std::fprintf(stderr, "cannot make the data directories\n");
        return 1;
    }
    std::printf("work: %s\nother: %s (%s file system)\nmedian of %d rounds\n", work.c_str(),
                other.c_str(), SameFileSystem(work, other) ? "SAME" : "another", options.rounds);
    try {
        TreeBenchmarks(options, work, other, "small tree", std::max(1, options.files / 10),
                       std::max(1, options.dirs / 10));
        TreeBenchmarks(options, work, other, "tree", options.files, options.dirs);
        if (options.bigFiles > 0 && options.bigMegabytes > 0)
            BigFileBenchmarks(options, work, other);
        WalkScaling(options, work);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "benchmark stopped: %s\n", error.what());
        return 1;
    }
    return 0;
}
