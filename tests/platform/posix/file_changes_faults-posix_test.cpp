#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/procedure_table.h"
#include "platform/posix/fault_plan-posix.h"
#include "settings/error_box.h"
#include "support/script_fixture.h"

// Every system call a file procedure makes, failed in turn with EIO and with ENOSPC: the run must
// stop with the procedure's message, or finish as a clean run does when the failure is one it may
// pass over (the run log, a descriptor it only read); and whatever it leaves must be whole.
namespace updater {
namespace {

namespace fs = std::filesystem;
using platform::posix::test_support::CallKind;
using platform::posix::test_support::FaultPlan;
using platform::posix::test_support::KindName;
using platform::posix::test_support::Removal;
using testing::Message;

enum class Scenario { kCopy, kMove, kMoveAcross, kDelete, kAttr };

// Fifty files over seven directories, one empty and one of 200 KiB; three of them already exist at
// the destination of a copy or a move, with other contents.
constexpr int kFiles = 50;
const char* const kDirectories[] = {"", "a/", "a/b/", "a/b/c/", "d/", "d/e/", "g/"};
constexpr int kDirectoryCount = 7;

std::string FileName(int i) {
    return kDirectories[i % kDirectoryCount] + ("f" + std::to_string(i) + ".dat");
}
const std::string& Contents(int i) {
    static const std::vector<std::string> contents = [] {
        std::vector<std::string> all(kFiles);
        for (int file = 0; file < kFiles; ++file) {
            const size_t size = file == 3 ? 0 : file == 5 ? 200 << 10 : 40 * (file + 1);
            while (all[file].size() < size)
                all[file] += "file " + std::to_string(file) + "; ";
        }
        return all;
    }();
    return contents[i];
}
// Where ATTR starts: some files already read-only.
bool StartsReadOnly(int i) {
    return i % 4 == 0;
}
bool IsReplaced(int i) {
    return i == 0 || i == 1 || i == 5;
}
std::string OldContents(int i) {
    return "old " + std::to_string(i);
}

void WriteNative(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// Every regular file under `root` by its relative path, with its contents; every directory as its
// path and a slash.
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> found;
    std::error_code missing;
    for (const auto& entry : fs::recursive_directory_iterator(root, missing)) {
        const std::string relative = entry.path().string().substr(root.size() + 1);
        if (entry.is_directory()) {
            found[relative + "/"] = "";
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        found[relative] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return found;
}

struct Outcome {
    bool ok = false;
    std::vector<std::string> boxes;
    std::vector<int> counts;
    std::vector<Removal> removals;
};

class FileChangesFaultsTest : public testing::ScriptTest,
                              public ::testing::WithParamInterface<Scenario> {
  protected:
    // The trees go to a memory file system where there is one, for speed; a move onto another
    // file system goes from the temporary directory to there, where they differ.
    void SetUp() override {
        ScriptTest::SetUp();
        work_ = std::make_unique<testing::TempDirectory>("/dev/shm");
        if (!work_->ok())
            work_ = std::make_unique<testing::TempDirectory>();
        ASSERT_TRUE(work_->ok());
        struct stat work {};
        struct stat temporary {};
        across_ = stat(work_->path().c_str(), &work) == 0 &&
                  stat(NativePath().c_str(), &temporary) == 0 && work.st_dev != temporary.st_dev;
    }
    void TearDown() override {
        work_.reset();
        ScriptTest::TearDown();
    }

    // A move onto another file system starts from the temporary directory, where the move
    // itself makes fewer changes than where it lands.
    std::string SourceRoot() const {
        return GetParam() == Scenario::kMoveAcross ? NativePath("src") : work_->Native("src");
    }
    std::string TargetRoot() const { return work_->Native("dst"); }
    std::string Engine(const std::string& native) const {
        return testing::TempDirectory::ToEngine(native);
    }

    // The whole tree, and the destination's old files. What a run left of the tree is whole, as
    // each check makes sure, so only what went is made again (file systems slow down when files
    // are made and removed at a great rate): all but what ATTR changed, and a temporary file whose
    // removal was made to fail.
    void Prepare() {
        if (GetParam() == Scenario::kAttr)
            fs::remove_all(SourceRoot());
        fs::remove_all(TargetRoot());
        std::error_code missing;
        for (const auto& entry : fs::recursive_directory_iterator(SourceRoot(), missing)) {
            if (entry.path().filename().string().rfind(".~", 0) == 0)
                fs::remove(entry.path());
        }
        for (int i = 0; i < kFiles; ++i) {
            const std::string path = SourceRoot() + "/" + FileName(i);
            if (!fs::exists(path))
                WriteNative(path, Contents(i));
            if (GetParam() == Scenario::kAttr && StartsReadOnly(i))
                fs::permissions(path, fs::perms::owner_write, fs::perm_options::remove);
            if (IsReplaced(i))
                WriteNative(TargetRoot() + "/" + FileName(i), OldContents(i));
        }
    }

    // The script of the scenario and the messages its failure may show.
    void WriteScenario() {
        const std::string from = Engine(SourceRoot());
        const std::string to = Engine(TargetRoot());
        switch (GetParam()) {
            case Scenario::kCopy:
            case Scenario::kMove:
            case Scenario::kMoveAcross: {
                const bool copy = GetParam() == Scenario::kCopy;
                WriteScript(std::string("[P]\nMODE=") + (copy ? "COPY" : "MOVE") +
                            "\nFROM=" + from + "\nTO=" + to + "\n");
                messages_.insert(Message(copy ? 8 : 14, from.c_str(), to.c_str()));
                break;
            }
            case Scenario::kDelete:
                WriteScript("[P]\nMODE=DELETE\nFILE=" + from + "\n");
                messages_.insert(Message(10, from.c_str()));
                break;
            case Scenario::kAttr: {
                std::string files;
                std::string values;
                for (const char* directory : kDirectories) {
                    const std::string item = Engine(SourceRoot() + "/" + directory + "*.*");
                    files += (files.empty() ? "" : ",") + item;
                    values += (values.empty() ? "" : ",") + std::string("0x03");
                    messages_.insert(Message(12, item.c_str(), 3u));
                }
                WriteScript("[P]\nMODE=ATTR\nFILE=" + files + "\nARG=" + values + "\n");
                break;
            }
        }
    }

    Outcome Run(CallKind kind, int number, int error) {
        Prepare();
        fs::remove(NativePath("run.log"));
        ForgetShownErrors();
        Outcome outcome;
        ProcedureList list = LoadList("P", 1);
        if (list == nullptr) {
            ADD_FAILURE() << "the script did not load";
            return outcome;
        }
        {
            FaultPlan plan(kind, number, error);
            outcome.ok = RunList(list);
            for (int k = 0; k < static_cast<int>(CallKind::kCount); ++k)
                outcome.counts.push_back(plan.Count(static_cast<CallKind>(k)));
            outcome.removals = plan.Removals();
        }
        FreeList(list);
        outcome.boxes = BoxTexts();
        return outcome;
    }

    // A copy keeps its source; a move has each file whole at one end at least. A destination
    // holds the source's contents, or its old contents where it had some; nothing else is left
    // in either tree, a temporary file least of all.
    void CheckTransfer(const Outcome& outcome) {
        const bool move = GetParam() != Scenario::kCopy;
        auto source = Snapshot(SourceRoot());
        auto target = Snapshot(TargetRoot());
        for (int i = 0; i < kFiles; ++i) {
            const std::string name = FileName(i);
            const auto atSource = source.find(name);
            const auto atTarget = target.find(name);
            const bool whole = atTarget != target.end() && atTarget->second == Contents(i);
            if (atSource != source.end()) {
                EXPECT_EQ(atSource->second, Contents(i)) << name << " changed at the source";
            }
            EXPECT_TRUE(move || atSource != source.end()) << name << " left the copy's source";
            EXPECT_TRUE(atSource != source.end() || whole) << name << " is lost";
            EXPECT_TRUE(atTarget == target.end() || whole ||
                        (IsReplaced(i) && atTarget->second == OldContents(i)))
                << name << " is partly written";
            EXPECT_TRUE(!IsReplaced(i) || atTarget != target.end()) << name << " lost its old file";
            EXPECT_TRUE(!outcome.ok || (whole && (!move || atSource == source.end())))
                << name << " not transferred by a run that succeeded";
            source.erase(name);
            target.erase(name);
        }
        // A temporary name may stay only where removing it, once the change was done, was the
        // call that failed.
        std::string failedRemoval;
        for (const Removal& removal : outcome.removals) {
            if (removal.planned)
                failedRemoval = removal.path;
        }
        for (const auto& [root, rest] : {std::pair(SourceRoot(), source), {TargetRoot(), target}}) {
            for (const auto& [name, contents] : rest) {
                if (name.back() != '/') {
                    EXPECT_EQ(root + "/" + name, failedRemoval) << "left behind: " << name;
                }
            }
        }
        EXPECT_TRUE(!outcome.ok || !move || !fs::exists(SourceRoot())) << "the source stayed";
    }

    // What went is exactly what the walk removed before it stopped, in the order a clean run
    // removes; everything else is there and whole.
    void CheckDelete(const Outcome& outcome, const std::vector<Removal>& clean) {
        std::set<std::string> removed;
        for (size_t i = 0; i < outcome.removals.size(); ++i) {
            EXPECT_TRUE(i < clean.size() && outcome.removals[i].path == clean[i].path)
                << "removal " << i << " is not the clean walk's: " << outcome.removals[i].path;
            if (outcome.removals[i].done) {
                removed.insert(outcome.removals[i].path);
            } else {
                EXPECT_EQ(i + 1, outcome.removals.size()) << "the walk went on after a failure";
            }
        }
        for (int i = 0; i < kFiles; ++i) {
            const std::string path = SourceRoot() + "/" + FileName(i);
            std::ifstream in(path, std::ios::binary);
            if (removed.count(path) == 0) {
                EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), Contents(i))
                    << path << " was not removed, yet is not whole";
            } else {
                EXPECT_FALSE(fs::exists(path)) << path << " was removed, yet is there";
            }
        }
        for (const char* directory : kDirectories) {
            const std::string path = fs::path(SourceRoot() + "/" + directory).parent_path();
            EXPECT_EQ(fs::exists(path), removed.count(path) == 0) << path;
        }
    }

    // Each file has its old attributes (its old mode, none stored) or all the new ones (read-only,
    // hidden stored where the file system stores attributes), and its contents.
    void CheckAttributes(const Outcome& outcome, bool stored) {
        for (int i = 0; i < kFiles; ++i) {
            const std::string path = SourceRoot() + "/" + FileName(i);
            struct stat status {};
            ASSERT_EQ(stat(path.c_str(), &status), 0) << path;
            char text[16] = {};
            const ssize_t length = getxattr(path.c_str(), "user.updater.attributes", text, 15);
            const bool readOnly = (status.st_mode & S_IWUSR) == 0;
            const bool hidden = length > 0 && std::string(text) == "2";
            const bool changed = readOnly && (hidden || !stored);
            EXPECT_TRUE(changed || (readOnly == StartsReadOnly(i) && length < 0))
                << path << " is partly changed";
            EXPECT_TRUE(changed || !outcome.ok) << path << " unchanged by a run that succeeded";
            std::ifstream in(path, std::ios::binary);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), Contents(i)) << path;
        }
    }

    void Check(const Outcome& outcome, const Outcome& clean) {
        if (GetParam() == Scenario::kDelete)
            CheckDelete(outcome, clean.removals);
        else if (GetParam() == Scenario::kAttr)
            CheckAttributes(outcome, clean.counts[static_cast<int>(CallKind::kSetxattr)] > 0);
        else
            CheckTransfer(outcome);
    }

    std::unique_ptr<testing::TempDirectory> work_;
    bool across_ = false;
    std::set<std::string> messages_;
};

TEST_P(FileChangesFaultsTest, EveryFailingCallStopsTheRunAndLeavesEveryFileWhole) {
    if (GetParam() == Scenario::kMoveAcross && !across_)
        GTEST_SKIP() << "/dev/shm is missing or on the temporary directory's file system";
    WriteScenario();
    const Outcome clean = Run(CallKind::kCount, 0, 0);
    ASSERT_TRUE(clean.ok);
    ASSERT_TRUE(clean.boxes.empty());
    Check(clean, clean);
    // The figures for the record: the calls of a clean run by kind, and how many of the runs
    // that failed one of them finished all the same.
    int runs = 0;
    std::string summary;
    for (int k = 0; k < static_cast<int>(CallKind::kCount); ++k) {
        const auto kind = static_cast<CallKind>(k);
        int finished = 0;
        for (int number = 1; number <= clean.counts[k]; ++number) {
            for (const int error : {EIO, ENOSPC}) {
                SCOPED_TRACE(std::string(KindName(kind)) + " #" + std::to_string(number) +
                             " fails with " + (error == EIO ? "EIO" : "ENOSPC"));
                const Outcome outcome = Run(kind, number, error);
                ++runs;
                finished += outcome.ok;
                if (outcome.ok) {
                    EXPECT_TRUE(outcome.boxes.empty());
                } else {
                    EXPECT_TRUE(outcome.boxes.size() == 1 && messages_.count(outcome.boxes[0]))
                        << "boxes: " << outcome.boxes.size();
                }
                Check(outcome, clean);
                if (::testing::Test::HasFailure())
                    return;
            }
        }
        if (clean.counts[k] > 0)
            summary += std::string(" ") + KindName(kind) + " " + std::to_string(clean.counts[k]) +
                       " (" + std::to_string(finished) + ")";
    }
    std::printf("calls (runs finished despite one failing):%s; %d runs\n", summary.c_str(), runs);
}

std::string ScenarioName(const ::testing::TestParamInfo<Scenario>& scenario) {
    static const char* const kNames[] = {"Copy", "Move", "MoveAcross", "Delete", "Attr"};
    return kNames[static_cast<int>(scenario.param)];
}

INSTANTIATE_TEST_SUITE_P(Procedures, FileChangesFaultsTest,
                         ::testing::Values(Scenario::kCopy, Scenario::kMove, Scenario::kMoveAcross,
                                           Scenario::kDelete, Scenario::kAttr),
                         ScenarioName);

}  // namespace
}  // namespace updater
