// Times the CRC procedure against zlib's crc32 on the same file, side by side: the Updater as a
// whole process checking a file against its expected checksum, and Python's zlib.crc32 reading
// the file in 1 MiB blocks. Rounds alternate which goes first; the cache is warm; medians are
// printed with the peak memory of each, for a small and a large file, so that memory that grew
// with the file would show. Last, the in-memory speed of each way of computing the checksum.
//
//   crc_bench [--program PATH] [--work DIR] [--mb N] [--rounds N]
//
// --program is the Updater (default: the updater one directory above this program, as the build
// puts it); --work where the data is made (default: the current directory); --mb the large
// file's size (default 1024).

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/crc32.h"

namespace {

using updater::bench::Measure;
using updater::bench::Median;
using updater::bench::RunChild;

namespace fs = std::filesystem;

constexpr const char* kZlibScript =
    "import sys, zlib\n"
    "buffer = bytearray(1 << 20)\n"
    "view = memoryview(buffer)\n"
    "crc = 0\n"
    "with open(sys.argv[1], 'rb', buffering=0) as f:\n"
    "    while True:\n"
    "        n = f.readinto(buffer)\n"
    "        if not n:\n"
    "            break\n"
    "        crc = zlib.crc32(view[:n], crc)\n"
    "print('%08X' % crc)\n";

struct Options {
    std::string program;
    std::string work = ".";
    int megabytes = 1024;
    int rounds = 5;
};

std::string ReadText(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Bytes that no compressor or file system shortcut makes cheap.
void WriteData(const std::string& path, int megabytes) {
    std::ofstream out(path, std::ios::binary);
    std::vector<uint64_t> block((1 << 20) / sizeof(uint64_t));
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (int m = 0; m < megabytes; ++m) {
        for (uint64_t& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * sizeof(uint64_t)));
    }
}

struct Series {
    std::vector<double> seconds;
    long peakKilobytes = 0;
    bool ok = true;

    void Add(const Measure& measure) {
        seconds.push_back(measure.seconds);
        peakKilobytes = std::max(peakKilobytes, measure.peakKilobytes);
        ok = ok && measure.ok;
    }
};

void PrintRow(int megabytes, const char* who, const Series& series) {
    const double median = Median(series.seconds);
    std::printf("%7d MiB  %-28s %8.3f s %8.2f GiB/s %9.1f MiB%s\n", megabytes, who, median,
                megabytes / 1024.0 / median, static_cast<double>(series.peakKilobytes) / 1024.0,
                series.ok ? "" : "  FAILED");
}

// One file size: the Updater's CRC procedure and zlib, alternating.
bool CompareOnFile(const Options& options, const std::string& root, int megabytes) {
    const std::string data = root + "/data.bin";
    const std::string program = root + "/crcbench";
    const std::string log = root + "/run.log";
    const std::string output = root + "/out.txt";
    WriteData(data, megabytes);
    const std::vector<std::string> zlib = {"/usr/bin/python3", "-c", kZlibScript, data};
    // Also warms the cache for both.
    if (!RunChild(zlib, output).ok)
        return false;
    const std::string expected = ReadText(output).substr(0, 8);
    std::ofstream(root + "/crcbench.ini")
        << "[UPDATER]\r\nNAME=Bench\r\nPROC=Check\r\n[Check]\r\nMODE=CRC\r\nFILE=" << data
        << "\r\nTYPE=AND\r\nCRC=0x" << expected << "\r\n";
    const std::vector<std::string> updater = {program};
    Series ours;
    Series theirs;
    bool agree = true;
    for (int round = 0; round < options.rounds; ++round) {
        fs::remove(log);
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (round % 2 == 0)) {
                ours.Add(RunChild(updater, "/dev/null"));
            } else {
                theirs.Add(RunChild(zlib, output));
                agree = agree && ReadText(output).substr(0, 8) == expected;
            }
        }
        agree = agree && ReadText(log).find("\"flag\":true") != std::string::npos;
    }
    PrintRow(megabytes, "updater (CRC procedure)", ours);
    PrintRow(megabytes, "python3 zlib.crc32, 1 MiB", theirs);
    std::printf("%7s      checksum 0x%s, agreed every round: %s\n", "", expected.c_str(),
                agree ? "yes" : "NO");
    fs::remove(data);
    return agree && ours.ok && theirs.ok;
}

void InMemory() {
    constexpr size_t kSize = size_t{256} << 20;
    std::vector<unsigned char> bytes(kSize);
    for (size_t i = 0; i < kSize; ++i)
        bytes[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
    std::printf("\nin memory, %zu MiB:\n", kSize >> 20);
    const struct {
        updater::Crc32Method method;
        const char* name;
    } methods[] = {{updater::Crc32Method::kTable, "byte-at-a-time table"},
                   {updater::Crc32Method::kSliced, "sixteen-table slices"},
                   {updater::Crc32Method::kFolded, "carry-less folding"}};
    for (const auto& entry : methods) {
        if (!updater::Crc32MethodAvailable(entry.method)) {
            std::printf("  %-24s not available on this processor\n", entry.name);
            continue;
        }
        std::vector<double> seconds;
        uint32_t crc = 0;
        for (int round = 0; round < 3; ++round) {
            const auto start = std::chrono::steady_clock::now();
            crc = updater::Crc32With(entry.method, 0, bytes.data(), bytes.size());
            seconds.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        std::printf("  %-24s %8.2f GiB/s  (0x%08X)\n", entry.name, 0.25 / Median(seconds), crc);
    }
}

bool ParseOptions(int argc, char** argv, Options& options) {
    options.program = (fs::path(argv[0]).parent_path() / ".." / "updater").string();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--program")
            options.program = value;
        else if (name == "--work")
            options.work = value;
        else if (name == "--mb")
            options.megabytes = std::atoi(value);
        else if (name == "--rounds")
            options.rounds = std::atoi(value);
        else
            return false;
    }
    return argc % 2 == 1 && options.megabytes > 0 && options.rounds > 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--program PATH] [--work DIR] [--mb N] [--rounds N]\n",
                     argv[0]);
        return 2;
    }
    std::string root = fs::absolute(options.work).string() + "/updater-crc-bench-XXXXXX";
    if (mkdtemp(root.data()) == nullptr) {
        std::fprintf(stderr, "cannot make a data directory in %s\n", options.work.c_str());
        return 1;
    }
    bool ok = false;
    std::error_code error;
    fs::copy_file(options.program, root + "/crcbench", error);
    if (error) {
        std::fprintf(stderr, "cannot copy %s: %s\n", options.program.c_str(),
                     error.message().c_str());
    } else {
        setenv("UPDATER_ANSWERS", "", 1);
        setenv("UPDATER_LOG", (root + "/run.log").c_str(), 1);
        std::printf("median of %d rounds, warm cache, whole processes\n", options.rounds);
        std::printf("%11s  %-28s %10s %14s %13s\n", "file", "program", "time", "throughput",
                    "peak memory");
        ok = CompareOnFile(options, root, std::min(64, options.megabytes));
        ok = CompareOnFile(options, root, options.megabytes) && ok;
        InMemory();
    }
    fs::remove_all(root, error);
    return ok ? 0 : 1;
}
