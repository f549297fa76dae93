// Times COPY onto an existing tree with and without the change journal, side by side in one run,
// and prints the figures: a tree of many small files and a set of large files. Each timed copy
// runs in a fresh process (this program, re-executed); the journal's own end (dropping the kept
// files) is timed with it. A run with the journal is durable when it ends; a plain one leaves its
// writes to the page cache, so it is also timed followed by a syncfs of the work file system
// (the "plain+sync" column), the time until its changes are durable too.
//
//   rollback_bench [--work DIR] [--files N] [--dirs N] [--big-files N] [--big-mb N] [--rounds N]
//
// --work must lie on a disk file system, not tmpfs: a flush to memory costs nothing. All data is
// removed afterwards.

#include <fcntl.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/string.h"
#include "fileops/change_journal.h"
#include "fileops/copy_move.h"

namespace {

using updater::bench::EnginePath;
using updater::bench::Measure;
using updater::bench::Median;
using updater::bench::ParseTreeOptions;
using updater::bench::RunChild;
using updater::bench::TreeOptions;

namespace fs = std::filesystem;

constexpr long kTmpfsMagic = 0x01021994;

struct Options : TreeOptions {
    Options() {
        dirs = 200;
        bigFiles = 8;
        bigMegabytes = 256;
    }
};

enum class Kind { kPlain, kPlainSynced, kJournaled };

int RunCopy(Kind kind, const std::string& from, const std::string& to, const std::string& state) {
    const bool journaled = kind == Kind::kJournaled;
    updater::ChangeJournal journal;
    if (journaled) {
        const std::string path = updater::ChangeJournal::PathFor(EnginePath(state), "bench");
        if (journal.Open(path, true) != updater::ChangeJournal::Opened::kOpened)
            return 2;
        journal.StartRecording(EnginePath(state));
    }
    const bool ok = updater::CopyPath(EnginePath(from).c_str(), EnginePath(to).c_str());
    if (journaled)
        journal.Finish();
    if (kind == Kind::kPlainSynced) {
        const int directory = open(to.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (directory < 0 || syncfs(directory) != 0)
            return 1;
        close(directory);
    }
    return ok ? 0 : 1;
}

void WriteFile(const std::string& path, size_t size, unsigned seed) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i)
        content[i] = static_cast<char>('a' + (seed + i * 7) % 26);
    std::ofstream(path, std::ios::binary) << content;
}

void MakeTree(const std::string& root, int files, int dirs) {
    for (int i = 0; i < dirs; ++i)
        fs::create_directories(root + "/dir" + std::to_string(i));
    for (int i = 0; i < files; ++i) {
        const unsigned seed = static_cast<unsigned>(i) * 2654435761u;
        WriteFile(root + "/dir" + std::to_string(i % dirs) + "/file" + std::to_string(i) + ".dat",
                  100 + seed % 7900, seed);
    }
}

void MakeBigFiles(const std::string& root, int count, int megabytes) {
    fs::create_directories(root);
    const std::string block(1 << 20, 'x');
    for (int i = 0; i < count; ++i) {
        std::ofstream out(root + "/big" + std::to_string(i) + ".bin", std::ios::binary);
        for (int m = 0; m < megabytes; ++m)
            out << block;
    }
}

// The existing tree the copy lands on: the same names, other contents.
void MakeTarget(const std::string& source, const std::string& target) {
    fs::remove_all(target);
    for (const auto& entry : fs::recursive_directory_iterator(source)) {
        const fs::path copy = target / fs::relative(entry.path(), source);
        if (entry.is_directory())
            fs::create_directories(copy);
        else
            std::ofstream(copy, std::ios::binary) << "old";
    }
}

const char* const kKindNames[] = {"plain", "synced", "journal"};

Measure Timed(Kind kind, const std::string& from, const std::string& to, const std::string& state) {
    sync();
    return RunChild(
        {"/proc/self/exe", "--do", kKindNames[static_cast<int>(kind)], from, to, state});
}

void Compare(const char* name, const Options& options, const std::string& source) {
    const std::string target = options.work + "/target";
    const std::string state = options.work + "/state";
    fs::create_directories(state);
    std::vector<double> times[3];
    bool ok = true;
    for (int round = 0; round < options.rounds; ++round) {
        for (int order = 0; order < 3; ++order) {
            const int kind = (round + order) % 3;
            MakeTarget(source, target);
            const Measure measure = Timed(static_cast<Kind>(kind), source, target, state);
            ok = ok && measure.ok;
            times[kind].push_back(measure.seconds);
        }
    }
    const double without = Median(times[0]);
    const double synced = Median(times[1]);
    const double with = Median(times[2]);
    std::printf("%-22s %9.3f s %9.3f s %9.3f s %+8.1f %% %+8.1f %%%s\n", name, without, synced,
                with, (with / without - 1.0) * 100.0, (with / synced - 1.0) * 100.0,
                ok ? "" : "  FAILED");
    fs::remove_all(target);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--do") {
        const std::string kind = argv[2];
        return RunCopy(kind == "journal"  ? Kind::kJournaled
                       : kind == "synced" ? Kind::kPlainSynced
                                          : Kind::kPlain,
                       argv[3], argv[4], argv[5]);
    }
    Options options;
    if (!ParseTreeOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--work DIR] [--files N] [--dirs N] [--big-files N] [--big-mb N] "
                     "[--rounds N]\n",
                     argv[0]);
        return 2;
    }
    options.work = fs::absolute(options.work).string() + "/rollback-bench";
    fs::remove_all(options.work);
    fs::create_directories(options.work);
    struct statfs system {};
    if (statfs(options.work.c_str(), &system) == 0 && system.f_type == kTmpfsMagic)
        std::printf("warning: %s is tmpfs; the figures say nothing of a disk\n",
                    options.work.c_str());
    std::printf("COPY onto an existing tree, median of %d runs each\n", options.rounds);
    std::printf("%-22s %11s %11s %11s %10s %10s\n", "data", "plain", "plain+sync", "ROLLBACK=1",
                "vs plain", "vs +sync");
    const std::string small = options.work + "/small";
    MakeTree(small, options.files, options.dirs);
    const std::string smallName = std::to_string(options.files) + " small files";
    Compare(smallName.c_str(), options, small);
    fs::remove_all(small);
    const std::string big = options.work + "/big";
    MakeBigFiles(big, options.bigFiles, options.bigMegabytes);
    const std::string bigName =
        std::to_string(options.bigFiles) + " x " + std::to_string(options.bigMegabytes) + " MB";
    Compare(bigName.c_str(), options, big);
    fs::remove_all(options.work);
    return 0;
}
