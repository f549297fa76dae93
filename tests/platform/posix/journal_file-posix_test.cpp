#include "platform/journal_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "core/string.h"
#include "engine/procedure_table.h"
#include "engine/run_journal.h"
#include "platform/posix/system_calls-posix.h"
#include "settings/error_box.h"
#include "settings/profile_reader.h"
#include "support/script_fixture.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using platform::posix::Calls;
using platform::posix::SystemCalls;

// Every system call of the table, counted; the one numbered `g_failAt` fails with EIO.
SystemCalls g_real;
long g_calls = 0;
long g_failAt = 0;

bool FailsNow() {
    if (++g_calls != g_failAt)
        return false;
    errno = EIO;
    return true;
}

#define FAULTY(name)                                                             \
    calls.name = [](auto... arguments) {                                         \
        using Result = decltype(g_real.name(arguments...));                      \
        return FailsNow() ? static_cast<Result>(-1) : g_real.name(arguments...); \
    }

void InstallFaults(long failAt) {
    g_real = Calls();
    g_calls = 0;
    g_failAt = failAt;
    SystemCalls& calls = Calls();
    FAULTY(open);
    FAULTY(openAt);
    FAULTY(close);
    FAULTY(read);
    FAULTY(pread);
    FAULTY(write);
    FAULTY(pwrite);
    FAULTY(copyFileRange);
    FAULTY(sendfile);
    FAULTY(ftruncate);
    FAULTY(readlink);
    FAULTY(rename);
    FAULTY(renameAt2);
    FAULTY(link);
    FAULTY(symlink);
    FAULTY(unlink);
    FAULTY(mkdir);
    FAULTY(rmdir);
    FAULTY(chmod);
    FAULTY(fchmod);
    FAULTY(fchown);
    FAULTY(setxattr);
    FAULTY(fsetxattr);
    FAULTY(removexattr);
    FAULTY(futimens);
    FAULTY(utimensAt);
    FAULTY(fsync);
    FAULTY(fdatasync);
}

void RemoveFaults() {
    Calls() = g_real;
}

// Each entry with all a restore must bring back; a directory's own times change with what is put
// back into it and are left out.
std::map<std::string, std::string> Snapshot(const std::string& top) {
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
        struct stat status {};
        lstat(entry.path().c_str(), &status);
        std::ostringstream text;
        text << std::oct << status.st_mode << std::dec;
        char stored[64] = {};
        if (!S_ISLNK(status.st_mode))
            getxattr(entry.path().c_str(), "user.updater.attributes", stored, sizeof stored - 1);
        text << " [" << stored << "]";
        if (S_ISREG(status.st_mode)) {
            std::ifstream in(entry.path(), std::ios::binary);
            text << " " << status.st_mtim.tv_sec << "." << status.st_mtim.tv_nsec << " "
                 << in.rdbuf();
        }
        found[fs::relative(entry.path(), top).string()] = text.str();
    }
    return found;
}

// The modification time of each directory, the top one included.
std::map<std::string, long long> DirectoryTimes(const std::string& top) {
    std::map<std::string, long long> times;
    const auto note = [&times](const fs::path& path) {
        struct stat status {};
        if (fs::is_directory(path) && stat(path.c_str(), &status) == 0)
            times[path.string()] = status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec;
    };
    note(top);
    for (const fs::path& path : fs::recursive_directory_iterator(top))
        note(path);
    return times;
}

class JournalFileTest : public testing::ScriptTest {
  protected:
    void MakeTree() {
        fs::remove_all(NativePath("app"));
        WriteFile("new/a.txt", "new a");
        WriteFile("new/sub/fresh.txt", "fresh");
        WriteFile("app/a.txt", "old a");
        WriteFile("app/sub/keep.txt", "keep");
        WriteFile("app/moved.txt", "moved");
        WriteFile("app/sub/b.txt", "old b");
        WriteFile("app/movedir/b.txt", "moved b");
        WriteFile("app/cache/one.bin", "one");
        WriteFile("app/settings.cfg", "settings");
        // Fixed times, so that each fresh tree is the same as the first.
        for (const auto& entry : fs::recursive_directory_iterator(directory_->path())) {
            if (entry.is_regular_file())
                fs::last_write_time(entry.path(), fs::file_time_type(std::chrono::hours(1000)));
        }
        fs::permissions(NativePath("app/sub/keep.txt"), fs::perms::owner_read);
    }

    // Copies onto an existing tree, moves, deletes a tree, sets attributes, makes directories
    // and a shortcut; then runs to the end or stops.
    void WriteSteps(bool fails) {
        const std::string app = EnginePath("app");
        WriteScript("[UPDATER]\nNAME=T\nROLLBACK=1\nPROC=C,M,N,D,A,K,L" +
                    std::string(fails ? ",F" : "") + "\n[C]\nMODE=COPY\nFROM=" + EnginePath("new") +
                    "\nTO=" + app + "\n[M]\nMODE=MOVE\nFROM=" + app + "\\moved.txt\nTO=" + app +
                    "\\sub\\moved.txt\n[D]\nMODE=DELETE\nFILE=" + app +
                    "\\cache\n[A]\nMODE=ATTR\nFILE=" + app + "\\settings.cfg\nARG=3\n" +
                    "[N]\nMODE=MOVE\nFROM=" + app + "\\movedir\nTO=" + app + "\\sub\n" +
                    "[K]\nMODE=MAKEDIR\nDIR=" + app + "\\logs\\old\n[L]\nMODE=LINK\nSRC=" + app +
                    "\\a.txt\nPARAM=\nSHOWCMD=1\nDST=" + app +
                    "\\a\n[F]\nMODE=COPY\nFROM=" + EnginePath("missing") + "\nTO=" + app + "\\x\n");
    }

    // One run as the program makes it, with the call `failAt` of its changes failing (0: none);
    // its undo runs with the real calls. True when it ran to its end.
    bool Run(long failAt) {
        FreeAllLists();
        ForgetShownErrors();
        InstallFaults(failAt);
        String names;
        const bool begun = BeginRunJournal();
        const bool ranToEnd = begun && ReadKey("UPDATER", "PROC", names) &&
                              LoadAndRunList(names, names.CountTokens(","));
        calls_ = g_calls;
        RemoveFaults();
        if (begun)
            EndRunJournal(ranToEnd);
        return ranToEnd;
    }

    long calls_ = 0;
};

// Every call of a run fails in turn: the run stops and leaves the tree as it was, or the failure
// did not matter to it and it ran to its end with the tree as a whole run leaves it.
TEST_F(JournalFileTest, EveryFailingCallOfARunLeavesTheTreeAsBeforeOrAsAfter) {
    WriteSteps(false);
    MakeTree();
    const auto before = Snapshot(NativePath("app"));
    ASSERT_TRUE(Run(0));
    const long count = calls_;
    auto after = Snapshot(NativePath("app"));
    after.erase("a.LNK");
    ASSERT_GT(count, 40);
    int stopped = 0;
    for (long failAt = 1; failAt <= count; ++failAt) {
        MakeTree();
        if (Run(failAt)) {
            auto now = Snapshot(NativePath("app"));
            now.erase("a.LNK");
            EXPECT_EQ(now, after) << "call " << failAt;
        } else {
            ++stopped;
            EXPECT_EQ(Snapshot(NativePath("app")), before) << "call " << failAt;
        }
    }
    EXPECT_GT(stopped, count / 2);
}

// An undo step that fails leaves the others done and the journal for the next start, which
// finishes the undo before it runs its script.
TEST_F(JournalFileTest, FailedUndoStepIsNamedAndFinishedByTheNextStart) {
    WriteSteps(true);
    MakeTree();
    const auto before = Snapshot(NativePath("app"));
    FreeAllLists();
    String names;
    ASSERT_TRUE(BeginRunJournal());
    ASSERT_TRUE(ReadKey("UPDATER", "PROC", names));
    EXPECT_FALSE(LoadAndRunList(names, names.CountTokens(",")));
    // Every removal fails during the undo: the created files and directories stay.
    g_real = Calls();
    Calls().unlink = [](const char*) {
        errno = EBUSY;
        return -1;
    };
    Calls().rmdir = Calls().unlink;
    EndRunJournal(false);
    RemoveFaults();
    const auto boxes = BoxTexts();
    ASSERT_EQ(boxes.size(), 2u) << ::testing::PrintToString(boxes);
    EXPECT_EQ(boxes[1], testing::Message(7, EnginePath("app/a.LNK").c_str()));
    EXPECT_TRUE(fs::exists(NativePath("app/logs/old")));
    EXPECT_EQ(directory_->Read("app/a.txt"), "old a");

    WriteScript("[UPDATER]\nNAME=T\nPROC=\n");
    FreeAllLists();
    EXPECT_TRUE(BeginRunJournal());
    EndRunJournal(true);
    EXPECT_EQ(Snapshot(NativePath("app")), before);
}

// The order of what reaches the disk, as the calls show it: a change made since the last syncfs
// of the tree's file system is unsynced, and a journal flush that carries "U" or "E" records then
// would let the mark outlive the change after a power cut. The `g_syncfsFailsAt`th syncfs fails.
dev_t g_treeDevice = 0;
bool g_unsynced = false;
bool g_markWritten = false;
int g_markFlushes = 0;
int g_earlyMarks = 0;
int g_syncfsCalls = 0;
int g_syncfsFailsAt = 0;

bool IsJournal(int fd) {
    char target[4096] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    return readlink(link.c_str(), target, sizeof target - 1) > 0 &&
           std::string(target).find("/journal-") != std::string::npos;
}

#define CHANGES(name) \
    calls.name = [](auto... arguments) { return g_unsynced = true, g_real.name(arguments...); }

void InstallOrderWatch(int syncfsFailsAt) {
    g_real = Calls();
    g_unsynced = g_markWritten = false;
    g_markFlushes = g_earlyMarks = g_syncfsCalls = 0;
    g_syncfsFailsAt = syncfsFailsAt;
    SystemCalls& calls = Calls();
    // Every change ends with one of these, data written before included.
    CHANGES(rename);
    CHANGES(renameAt2);
    CHANGES(link);
    CHANGES(symlink);
    CHANGES(unlink);
    CHANGES(mkdir);
    CHANGES(rmdir);
    CHANGES(chmod);
    CHANGES(setxattr);
    CHANGES(utimensAt);
    calls.write = [](int fd, const void* data, size_t size) {
        const std::string text(static_cast<const char*>(data), size);
        g_markWritten =
            g_markWritten || (IsJournal(fd) && (text.find("\tU\t") != std::string::npos ||
                                                text.find("\tE\t") != std::string::npos));
        return g_real.write(fd, data, size);
    };
    calls.fdatasync = [](int fd) {
        if (g_markWritten && IsJournal(fd)) {
            ++g_markFlushes;
            g_earlyMarks += g_unsynced ? 1 : 0;
            g_markWritten = false;
        }
        return g_real.fdatasync(fd);
    };
    calls.syncfs = [](int fd) {
        if (++g_syncfsCalls == g_syncfsFailsAt)
            return errno = EIO, -1;
        struct stat status {};
        if (fstat(fd, &status) == 0 && status.st_dev == g_treeDevice)
            g_unsynced = false;
        return g_real.syncfs(fd);
    };
}

class DurableOrderTest : public JournalFileTest {
  protected:
    // Runs the steps (stopping at the last one when `fails`) and ends the run, watching the order
    // of the calls; true when the run was ended for good.
    bool Watched(bool fails, int syncfsFailsAt) {
        WriteSteps(fails);
        MakeTree();
        times_ = DirectoryTimes(NativePath("app"));
        struct stat status {};
        stat(NativePath("app").c_str(), &status);
        g_treeDevice = status.st_dev;
        FreeAllLists();
        ForgetShownErrors();
        InstallOrderWatch(syncfsFailsAt);
        String names;
        const bool begun = BeginRunJournal();
        const bool ranToEnd = begun && ReadKey("UPDATER", "PROC", names) &&
                              LoadAndRunList(names, names.CountTokens(","));
        const bool ended = begun && EndRunJournal(ranToEnd) && ranToEnd;
        RemoveFaults();
        return ended;
    }

    std::map<std::string, long long> times_;
};

// The run's changes are durable before its end record, and each undo step before its mark;
// a run end that cannot be made durable is undone, an undo that cannot is left for the next start.
TEST_F(DurableOrderTest, MarksBecomeDurableOnlyAfterTheirChanges) {
    WriteSteps(false);
    MakeTree();
    const auto before = Snapshot(NativePath("app"));

    EXPECT_TRUE(Watched(false, 0));
    EXPECT_EQ(g_markFlushes, 1);
    EXPECT_EQ(g_earlyMarks, 0);
    EXPECT_GE(g_syncfsCalls, 1);
    EXPECT_NE(Snapshot(NativePath("app")), before);

    // The steps touch many paths and some twice: more than one group, each synced first. The
    // directories whose entries changed get their times back too.
    EXPECT_FALSE(Watched(true, 0));
    EXPECT_EQ(DirectoryTimes(NativePath("app")), times_);
    EXPECT_GT(g_markFlushes, 1);
    EXPECT_EQ(g_earlyMarks, 0);
    EXPECT_GE(g_syncfsCalls, g_markFlushes);
    EXPECT_EQ(Snapshot(NativePath("app")), before);

    size_t shown = BoxTexts().size();
    EXPECT_FALSE(Watched(false, 1));
    EXPECT_EQ(g_earlyMarks, 0);
    ASSERT_EQ(BoxTexts().size(), shown + 1);
    EXPECT_EQ(BoxTexts().back(), testing::Message(5, "ROLLBACK"));
    EXPECT_EQ(Snapshot(NativePath("app")), before);

    // The undo stops at its first group, unmarked; the next start does it again and goes on.
    shown = BoxTexts().size();
    EXPECT_FALSE(Watched(true, 1));
    EXPECT_EQ(g_markFlushes, 0);
    ASSERT_EQ(BoxTexts().size(), shown + 2);
    EXPECT_NE(Snapshot(NativePath("app")), before);
    WriteScript("[UPDATER]\nNAME=T\nPROC=\n");
    FreeAllLists();
    EXPECT_TRUE(BeginRunJournal());
    EXPECT_TRUE(EndRunJournal(true));
    EXPECT_EQ(Snapshot(NativePath("app")), before);
}

// The lock is the journal's own: held by one opening, refused to a second, free again after.
TEST(JournalFile, OneHolderAtATimeAndRemovedWhenDone) {
    testing::TempDirectory directory;
    const std::string path = directory.Engine("journal");
    platform::JournalFile first;
    platform::JournalFile second;
    EXPECT_EQ(first.Open(path, false), platform::JournalFile::Opened::kMissing);
    ASSERT_EQ(first.Open(path, true), platform::JournalFile::Opened::kOpened);
    EXPECT_EQ(second.Open(path, true), platform::JournalFile::Opened::kHeld);
    EXPECT_TRUE(first.Append("one\n") && first.Flush() && first.Append("two\n"));
    std::string contents;
    EXPECT_TRUE(first.ReadAll(contents));
    EXPECT_EQ(contents, "one\ntwo\n");
    first.Remove();
    EXPECT_FALSE(fs::exists(directory.Native("journal")));
    EXPECT_EQ(second.Open(path, false), platform::JournalFile::Opened::kMissing);
}

}  // namespace
}  // namespace updater
