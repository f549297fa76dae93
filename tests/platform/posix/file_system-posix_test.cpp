#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/posix/internal-posix.h"
#include "platform/posix/scoped_environment.h"
#include "support/temp_directory.h"

namespace updater::platform {
namespace {

namespace fs = std::filesystem;

using Scratch = testing::TempDirectory;

bool StoresAttributes(const std::string& native) {
    return setxattr(native.c_str(), "user.updater.probe", "1", 1, 0) == 0 &&
           removexattr(native.c_str(), "user.updater.probe") == 0;
}

bool SameContent(const std::string& a, const std::string& b) {
    std::ifstream first(a, std::ios::binary);
    std::ifstream second(b, std::ios::binary);
    std::vector<char> left(1 << 16);
    std::vector<char> right(1 << 16);
    while (first && second) {
        first.read(left.data(), static_cast<std::streamsize>(left.size()));
        second.read(right.data(), static_cast<std::streamsize>(right.size()));
        if (first.gcount() != second.gcount() ||
            !std::equal(left.begin(), left.begin() + first.gcount(), right.begin()))
            return false;
    }
    return first.eof() && second.eof();
}

timespec ModifiedTime(const std::string& native) {
    struct stat status {};
    stat(native.c_str(), &status);
    return status.st_mtim;
}

void SetModifiedTime(const std::string& native, time_t seconds, long nanoseconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {seconds, nanoseconds}};
    utimensat(AT_FDCWD, native.c_str(), times, 0);
}

// --- Wildcards --------------------------------------------------------------------------------

std::set<std::string> Matches(const char* pattern) {
    static const char* const kNames[] = {".", "..",   "..a", "..a.a", ".a", ".a..a", ".a.a", ".aaa",
                                         "a", "a..a", "a.a", "a.a.a", "aa", "aaa",   "aaaa", " .a"};
    posix::WildcardPattern compiled(pattern);
    std::set<std::string> found;
    for (const char* name : kNames) {
        bool dots = std::string(name) == "." || std::string(name) == "..";
        if (dots ? compiled.MatchesDotEntry(name) : compiled.Matches(name))
            found.insert(name);
    }
    return found;
}

const std::set<std::string> kEveryName = {".",    "..",   "..a",  "..a.a", ".a",  ".a..a",
                                          ".a.a", ".aaa", "a",    "a..a",  "a.a", "a.a.a",
                                          "aa",   "aaa",  "aaaa", " .a"};

TEST(WildcardTest, StarFormsMatchEveryNameIncludingNamesWithoutDot) {
    for (const char* pattern : {"*", "*.*", "**", "*.*.*", "*. ", "* . ", "*.. "})
        EXPECT_EQ(Matches(pattern), kEveryName) << pattern;
}

TEST(WildcardTest, StarDotMatchesNamesWithoutExtension) {
    // Windows adds ".a", "..a" and ".aaa" through 8.3 short names, which Linux does not have.
    const std::set<std::string> expected = {".", "..", "a", "aa", "aaa", "aaaa"};
    for (const char* pattern : {"*.", "* .", "*. .", "* .."})
        EXPECT_EQ(Matches(pattern), expected) << pattern;
}

TEST(WildcardTest, QuestionMarkMatchesOneCharacterOrNothingAtTheEnd) {
    EXPECT_EQ(Matches("?"), (std::set<std::string>{".", "..", "a"}));
    EXPECT_EQ(Matches("??."), (std::set<std::string>{".", "..", "a", "aa"}));
    EXPECT_EQ(Matches("???."), (std::set<std::string>{".", "..", "a", "aa", "aaa"}));
    EXPECT_TRUE(posix::WildcardPattern("a?").Matches("ab"));
    EXPECT_FALSE(posix::WildcardPattern("a?").Matches("abc"));
    EXPECT_TRUE(posix::WildcardPattern("a?.txt").Matches("a.txt"));
}

TEST(WildcardTest, DotsAndExtensions) {
    EXPECT_EQ(Matches("aa.*"), (std::set<std::string>{"aa"}));
    EXPECT_EQ(Matches("*.a"), (std::set<std::string>{"..a", "..a.a", ".a", ".a..a", ".a.a", "a..a",
                                                     "a.a", "a.a.a", " .a"}));
    EXPECT_EQ(Matches(".*"),
              (std::set<std::string>{".", "..", "..a", "..a.a", ".a", ".a..a", ".a.a", ".aaa"}));
    EXPECT_EQ(Matches(" *a"), (std::set<std::string>{" .a"}));
    EXPECT_TRUE(posix::WildcardPattern("readme.*").Matches("readme"));
    EXPECT_FALSE(posix::WildcardPattern("*.tar").Matches("x.tar.gz"));
    EXPECT_TRUE(posix::WildcardPattern("*.txt").Matches("a.b.txt"));
}

TEST(WildcardTest, NamesAreCaseSensitive) {
    EXPECT_TRUE(posix::WildcardPattern("*.txt").Matches("a.txt"));
    EXPECT_FALSE(posix::WildcardPattern("*.txt").Matches("b.TXT"));
    EXPECT_FALSE(posix::WildcardPattern("A*").Matches("abc"));
}

TEST(WildcardTest, ManyStarsStayLinear) {
    std::string name(250, 'a');
    EXPECT_FALSE(posix::WildcardPattern("*a*a*a*a*a*a*a*a*a*a*b").Matches(name));
    EXPECT_TRUE(posix::WildcardPattern("*a*a*a*a*a*a*a*a*a*a*").Matches(name));
}

// --- Directory search -------------------------------------------------------------------------

std::vector<FoundEntry> Search(const std::string& pattern) {
    std::vector<FoundEntry> entries;
    DirectorySearch search;
    FoundEntry entry;
    if (!search.Start(pattern, entry))
        return entries;
    do {
        entries.push_back(entry);
    } while (search.Next(entry));
    return entries;
}

std::vector<std::string> SearchNames(const std::string& pattern) {
    std::vector<std::string> names;
    for (const FoundEntry& entry : Search(pattern))
        names.push_back(entry.name);
    return names;
}

TEST(DirectorySearchTest, StarListsDotEntriesFirstThenEveryEntry) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("d/a.txt", "1");
    scratch.Write("d/b", "2");
    scratch.MakeDir("d/sub");
    std::vector<FoundEntry> entries = Search(scratch.Engine("d") + "\\*");
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].name, ".");
    EXPECT_EQ(entries[1].name, "..");
    EXPECT_NE(entries[0].attributes & kAttributeDirectory, 0u);
    std::set<std::string> rest;
    for (size_t i = 2; i < entries.size(); ++i) {
        rest.insert(entries[i].name);
        bool isDirectory = (entries[i].attributes & kAttributeDirectory) != 0;
        EXPECT_EQ(isDirectory, entries[i].name == "sub");
    }
    EXPECT_EQ(rest, (std::set<std::string>{"a.txt", "b", "sub"}));
    EXPECT_EQ(SearchNames(scratch.Engine("d") + "\\*.txt"), std::vector<std::string>{"a.txt"});
}

TEST(DirectorySearchTest, RootSearchHasNoDotEntries) {
    for (const std::string& name : SearchNames("\\*")) {
        EXPECT_NE(name, ".");
        EXPECT_NE(name, "..");
    }
    EXPECT_FALSE(SearchNames("\\*").empty());
}

TEST(DirectorySearchTest, PlainNameFindsTheEntryItselfAndTrailingBackslashFindsNothing) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("d/f.txt", "1");
    std::vector<FoundEntry> directory = Search(scratch.Engine("d"));
    ASSERT_EQ(directory.size(), 1u);
    EXPECT_EQ(directory[0].name, "d");
    EXPECT_EQ(directory[0].attributes, kAttributeDirectory);
    EXPECT_EQ(SearchNames(scratch.Engine("d\\f.txt")), std::vector<std::string>{"f.txt"});
    EXPECT_TRUE(Search(scratch.Engine("d") + "\\").empty());
    EXPECT_TRUE(Search("\\").empty());
    EXPECT_TRUE(Search("").empty());
}

TEST(DirectorySearchTest, MissingPathsFilesAsDirectoriesAndDrivesFindNothing) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("f.txt", "1");
    scratch.MakeDir("empty");
    EXPECT_TRUE(Search(scratch.Engine("missing")).empty());
    EXPECT_TRUE(Search(scratch.Engine("missing\\*")).empty());
    EXPECT_TRUE(Search(scratch.Engine("f.txt\\*")).empty());
    EXPECT_TRUE(Search(scratch.Engine("empty\\*.txt")).empty());
    EXPECT_TRUE(Search("C:\\Windows").empty());
    EXPECT_EQ(SearchNames(scratch.Engine("empty\\*")), (std::vector<std::string>{".", ".."}));
}

// A link reports what it leads to, marked as a link, in a search as in the attribute query, as
// Windows does; a trailing backslash still names the link.
TEST(DirectorySearchTest, LinksAreReportedAsLinksAndEveryNameIsReported) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.MakeDir("d/target");
    scratch.Write("d/file.txt", "f");
    ASSERT_EQ(symlink(scratch.Native("d/target").c_str(), scratch.Native("d/link").c_str()), 0);
    ASSERT_EQ(symlink(scratch.Native("d/file.txt").c_str(), scratch.Native("d/flink").c_str()), 0);
    ASSERT_EQ(symlink(scratch.Native("d/missing").c_str(), scratch.Native("d/dangling").c_str()),
              0);
    scratch.Write("d/back\\slash", "1");
    const uint32_t directoryLink = kAttributeDirectory | kAttributeReparsePoint;
    const uint32_t fileLink = kAttributeArchive | kAttributeReparsePoint;
    std::set<std::string> seen;
    for (const FoundEntry& entry : Search(scratch.Engine("d\\*"))) {
        seen.insert(entry.name);
        if (entry.name == "link") {
            EXPECT_EQ(entry.attributes, directoryLink);
        }
        if (entry.name == "flink" || entry.name == "dangling") {
            EXPECT_EQ(entry.attributes, fileLink) << entry.name;
        }
    }
    // A name the engine cannot write is still reported: the walker refuses it rather than let it
    // pass unseen.
    EXPECT_EQ(seen.count("link") + seen.count("flink") + seen.count("dangling") +
                  seen.count("back\\slash"),
              4u);
    ASSERT_EQ(Search(scratch.Engine("d\\link")).size(), 1u);
    EXPECT_EQ(Search(scratch.Engine("d\\link"))[0].attributes, directoryLink);
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("d\\link")), directoryLink);
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("d\\link\\")), directoryLink);
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("d\\flink")), fileLink);
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("d\\flink\\")), kInvalidAttributes);
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("d\\dangling")), fileLink);
}

// --- Attributes -------------------------------------------------------------------------------

TEST(AttributesTest, FilesDirectoriesAndMissingPaths) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("f.txt", "1");
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("f.txt")), kAttributeArchive);
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("")), kAttributeDirectory);
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("") + "\\"), kAttributeDirectory);
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("f.txt") + "\\"), kInvalidAttributes);
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("missing")), kInvalidAttributes);
    EXPECT_EQ(GetEntryAttributes(""), kInvalidAttributes);
    scratch.ClearWrite("f.txt");
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("f.txt")), kAttributeArchive | kAttributeReadOnly);
}

TEST(AttributesTest, SetReplacesTheWholeSetAndZeroClearsIt) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("f.txt", "1");
    const std::string file = scratch.Engine("f.txt");
    ASSERT_TRUE(SetEntryAttributes(file, kAttributeReadOnly));
    EXPECT_EQ(GetEntryAttributes(file), kAttributeReadOnly);
    EXPECT_EQ(fs::status(scratch.Native("f.txt")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ASSERT_TRUE(SetEntryAttributes(file, 0));
    EXPECT_EQ(GetEntryAttributes(file), kAttributeNormal);
    EXPECT_TRUE(fs::status(scratch.Native("f.txt")).permissions() ==
                (fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                 fs::perms::others_read));
    ASSERT_TRUE(SetEntryAttributes(file, kAttributeArchive));
    EXPECT_EQ(GetEntryAttributes(file), kAttributeArchive);
    ASSERT_TRUE(SetEntryAttributes(file, kAttributeNormal | kAttributeReadOnly | 0x10 | 0x40000));
    EXPECT_EQ(GetEntryAttributes(file), kAttributeReadOnly);
    EXPECT_FALSE(SetEntryAttributes(scratch.Engine("missing"), kAttributeArchive));
}

TEST(AttributesTest, HiddenAndSystemAreStoredWhereTheFileSystemAllows) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("f.txt", "1");
    if (!StoresAttributes(scratch.Native("f.txt")))
        GTEST_SKIP() << "no user xattrs here";
    const std::string file = scratch.Engine("f.txt");
    const uint32_t set = kAttributeReadOnly | kAttributeHidden | kAttributeSystem;
    ASSERT_TRUE(SetEntryAttributes(file, set));
    EXPECT_EQ(GetEntryAttributes(file), set);
    ASSERT_TRUE(SetEntryAttributes(file, kAttributeHidden | kAttributeArchive));
    EXPECT_EQ(GetEntryAttributes(file), kAttributeHidden | kAttributeArchive);
    // Back to a new file's set: nothing is left stored.
    ASSERT_TRUE(SetEntryAttributes(file, kAttributeArchive));
    EXPECT_LT(getxattr(scratch.Native("f.txt").c_str(), "user.updater.attributes", nullptr, 0), 0);
}

// Sets the process's file-creation mask for one test.
class ScopedCreationMask {
  public:
    explicit ScopedCreationMask(mode_t mask) : saved_(umask(mask)) {}
    ~ScopedCreationMask() { umask(saved_); }
    ScopedCreationMask(const ScopedCreationMask&) = delete;
    ScopedCreationMask& operator=(const ScopedCreationMask&) = delete;

  private:
    mode_t saved_;
};

fs::perms Permissions(const std::string& native) {
    return fs::status(native).permissions() & fs::perms::all;
}

// Write permission comes back as far as the creation mask gives it to new files, and only where
// reading was allowed; an entry that is writable already keeps its mode.
TEST(AttributesTest, ClearingReadOnlyGivesWriteBackAsTheCreationMaskAllows) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    using fs::perms;
    const perms readable = perms::owner_read | perms::group_read | perms::others_read;
    {
        const ScopedCreationMask mask(002);
        scratch.Write("shared", "1");
        ASSERT_EQ(Permissions(scratch.Native("shared")),
                  readable | perms::owner_write | perms::group_write);
        ASSERT_TRUE(SetEntryAttributes(scratch.Engine("shared"), kAttributeReadOnly));
        EXPECT_EQ(Permissions(scratch.Native("shared")), readable);
        ASSERT_TRUE(SetEntryAttributes(scratch.Engine("shared"), 0));
        EXPECT_EQ(Permissions(scratch.Native("shared")),
                  readable | perms::owner_write | perms::group_write);
        scratch.Write("private", "1");
        fs::permissions(scratch.Native("private"), perms::owner_read);
        ASSERT_TRUE(SetEntryAttributes(scratch.Engine("private"), 0));
        EXPECT_EQ(Permissions(scratch.Native("private")), perms::owner_read | perms::owner_write);
        fs::permissions(scratch.Native("private"), perms::owner_read | perms::owner_write);
        ASSERT_TRUE(SetEntryAttributes(scratch.Engine("private"), kAttributeArchive));
        EXPECT_EQ(Permissions(scratch.Native("private")), perms::owner_read | perms::owner_write);
    }
    const ScopedCreationMask mask(022);
    scratch.Write("own", "1");
    ASSERT_TRUE(SetEntryAttributes(scratch.Engine("own"), kAttributeReadOnly));
    ASSERT_TRUE(SetEntryAttributes(scratch.Engine("own"), 0));
    EXPECT_EQ(Permissions(scratch.Native("own")), readable | perms::owner_write);
}

// A link has no attributes of its own on Linux; what it leads to is never changed through it.
TEST(AttributesTest, LinksAreNeverChangedThrough) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.MakeDir("target");
    scratch.Write("file.txt", "f");
    ASSERT_EQ(symlink(scratch.Native("target").c_str(), scratch.Native("link").c_str()), 0);
    ASSERT_EQ(symlink(scratch.Native("file.txt").c_str(), scratch.Native("flink").c_str()), 0);
    EXPECT_TRUE(SetEntryAttributes(scratch.Engine("link"), kAttributeReadOnly));
    EXPECT_TRUE(SetEntryAttributes(scratch.Engine("link") + "\\", kAttributeReadOnly));
    EXPECT_TRUE(SetEntryAttributes(scratch.Engine("flink"), kAttributeReadOnly));
    EXPECT_FALSE(SetEntryAttributes(scratch.Engine("flink") + "\\", kAttributeReadOnly));
    EXPECT_FALSE(SetEntryAttributes(scratch.Engine("file.txt") + "\\", kAttributeReadOnly));
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("target")), kAttributeDirectory);
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("file.txt")), kAttributeArchive);
}

TEST(AttributesTest, ReadOnlyDirectoryIsKeptAndCannotBeRemoved) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.MakeDir("d");
    const std::string directory = scratch.Engine("d");
    ASSERT_TRUE(SetEntryAttributes(directory, kAttributeReadOnly));
    EXPECT_EQ(GetEntryAttributes(directory), kAttributeDirectory | kAttributeReadOnly);
    EXPECT_FALSE(RemoveEmptyDirectory(directory));
    ASSERT_TRUE(SetEntryAttributes(directory, 0));
    EXPECT_EQ(GetEntryAttributes(directory), kAttributeDirectory);
    EXPECT_TRUE(RemoveEmptyDirectory(directory));
}

// --- Copy -------------------------------------------------------------------------------------

TEST(CopyFileTest, CopiesContentTimeAndReadOnlyState) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("src.bin", std::string(300000, 'x') + "end");
    SetModifiedTime(scratch.Native("src.bin"), 1000000000, 123456789);
    scratch.ClearWrite("src.bin");
    ASSERT_TRUE(CopyFileTo(scratch.Engine("src.bin"), scratch.Engine("dst.bin")));
    EXPECT_EQ(scratch.Read("dst.bin"), scratch.Read("src.bin"));
    EXPECT_EQ(ModifiedTime(scratch.Native("dst.bin")).tv_sec, 1000000000);
    EXPECT_EQ(ModifiedTime(scratch.Native("dst.bin")).tv_nsec, 123456789);
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("dst.bin")),
              kAttributeArchive | kAttributeReadOnly);
    EXPECT_EQ(scratch.Names(), (std::set<std::string>{"src.bin", "dst.bin"}));
}

TEST(CopyFileTest, ReplacesByRenameSoOpenReadersKeepTheOldFile) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("src", "new content");
    scratch.Write("dst", "old");
    std::ifstream reader(scratch.Native("dst"));
    ASSERT_TRUE(CopyFileTo(scratch.Engine("src"), scratch.Engine("dst")));
    std::string seen;
    reader >> seen;
    EXPECT_EQ(seen, "old");
    EXPECT_EQ(scratch.Read("dst"), "new content");
}

TEST(CopyFileTest, RefusesWhatWindowsRefuses) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("src", "new");
    scratch.Write("readonly", "keep");
    scratch.ClearWrite("readonly");
    scratch.MakeDir("dir");
    EXPECT_FALSE(CopyFileTo(scratch.Engine("src"), scratch.Engine("readonly")));
    EXPECT_EQ(scratch.Read("readonly"), "keep");
    EXPECT_FALSE(CopyFileTo(scratch.Engine("src"), scratch.Engine("dir")));
    EXPECT_FALSE(CopyFileTo(scratch.Engine("dir"), scratch.Engine("other")));
    EXPECT_FALSE(CopyFileTo(scratch.Engine("src"), scratch.Engine("src")));
    EXPECT_FALSE(CopyFileTo(scratch.Engine("missing"), scratch.Engine("other")));
    EXPECT_FALSE(CopyFileTo(scratch.Engine("src"), scratch.Engine("nodir\\other")));
    EXPECT_FALSE(CopyFileTo(scratch.Engine("src"), scratch.Engine("a?b")));
    EXPECT_FALSE(CopyFileTo(scratch.Engine("src"), "C:\\other"));
    EXPECT_EQ(scratch.Read("src"), "new");
    EXPECT_EQ(scratch.Names(), (std::set<std::string>{"src", "readonly", "dir"}));
}

// Copying onto a pipe, a socket or a device would swap it for a plain file.
TEST(CopyFileTest, OnlyRegularFilesAreReplaced) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("src", "S");
    ASSERT_EQ(mkfifo(scratch.Native("fifo").c_str(), 0600), 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = scratch.Native("socket");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(listener);
    std::vector<std::string> special = {"fifo", "socket"};
    if (mknod(scratch.Native("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        special.push_back("null");
    for (const std::string& name : special) {
        EXPECT_FALSE(CopyFileTo(scratch.Engine("src"), scratch.Engine(name))) << name;
        EXPECT_FALSE(CopyEntryTo(scratch.Engine("src"), scratch.Engine(name))) << name;
        struct stat status {};
        ASSERT_EQ(lstat(scratch.Native(name).c_str(), &status), 0);
        EXPECT_FALSE(S_ISREG(status.st_mode)) << name;
    }
    // A pipe as the source is refused at once rather than waited on.
    EXPECT_FALSE(CopyFileTo(scratch.Engine("fifo"), scratch.Engine("copy")));
    EXPECT_FALSE(CopyEntryTo(scratch.Engine("fifo"), scratch.Engine("copy")));
    EXPECT_EQ(scratch.Names().count("copy"), 0u);
}

TEST(CopyFileTest, RefusesHiddenDestination) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("src", "new");
    scratch.Write("hidden", "keep");
    if (!StoresAttributes(scratch.Native("hidden")))
        GTEST_SKIP() << "no user xattrs here";
    ASSERT_TRUE(SetEntryAttributes(scratch.Engine("hidden"), kAttributeHidden));
    EXPECT_FALSE(CopyFileTo(scratch.Engine("src"), scratch.Engine("hidden")));
    EXPECT_EQ(scratch.Read("hidden"), "keep");
    // The stored bits travel with a copy.
    ASSERT_TRUE(CopyFileTo(scratch.Engine("hidden"), scratch.Engine("copy")));
    EXPECT_EQ(GetEntryAttributes(scratch.Engine("copy")), kAttributeHidden);
}

// A copy that fails half-way (here: the file-size limit) leaves the destination as it was and
// no temporary file behind.
TEST(CopyFileTest, FailedCopyLeavesDestinationAndSourceUntouched) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    const std::string big(1 << 20, 'b');
    scratch.Write("src", big);
    scratch.Write("dst", "old");
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    bool copied = CopyFileTo(scratch.Engine("src"), scratch.Engine("dst"));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(copied);
    EXPECT_EQ(scratch.Read("dst"), "old");
    EXPECT_EQ(scratch.Read("src"), big);
    EXPECT_EQ(scratch.Names(), (std::set<std::string>{"src", "dst"}));
}

// Holes of the source stay holes in the copy: a data block in the middle, one that ends the
// file, and a hole that ends it.
TEST(CopyFileTest, SparseFilesStaySparse) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    constexpr off_t kSize = off_t{64} << 20;
    struct Layout {
        const char* name;
        std::vector<off_t> blocks;
    };
    const Layout layouts[] = {{"two-blocks", {off_t{1} << 20, off_t{40} << 20}},
                              {"data-at-end", {0, kSize - 4096}},
                              {"hole-at-end", {0}}};
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const std::string source = scratch.Native(layout.name);
        {
            const posix::FileDescriptor file(open(source.c_str(), O_WRONLY | O_CREAT, 0644));
            ASSERT_TRUE(file.IsOpen());
            ASSERT_EQ(ftruncate(file.Get(), kSize), 0);
            for (off_t at : layout.blocks) {
                const std::string block(4096, static_cast<char>('a' + (at >> 20) % 26));
                ASSERT_EQ(pwrite(file.Get(), block.data(), block.size(), at), 4096);
            }
        }
        const std::string copy = std::string(layout.name) + ".copy";
        ASSERT_TRUE(CopyFileTo(scratch.Engine(layout.name), scratch.Engine(copy)));
        struct stat from {};
        struct stat to {};
        ASSERT_EQ(stat(source.c_str(), &from), 0);
        ASSERT_EQ(stat(scratch.Native(copy).c_str(), &to), 0);
        EXPECT_EQ(to.st_size, kSize);
        EXPECT_TRUE(SameContent(source, scratch.Native(copy)));
        if (from.st_blocks * 512 >= kSize / 2) {
            std::cout << "[ SKIPPED  ] block count: the scratch file system stored " << layout.name
                      << " in full\n";
            continue;
        }
        // Some slack for file systems that allocate around a write.
        EXPECT_LE(to.st_blocks, from.st_blocks + 256);
    }
    // A file that reports no size, as the kernel's own files do, is still copied whole.
    ASSERT_TRUE(CopyFileTo("\\proc\\self\\status", scratch.Engine("status")));
    EXPECT_NE(scratch.Read("status").find("Pid:"), std::string::npos);
}

// --- Move, delete, directories ----------------------------------------------------------------

TEST(MoveEntryTest, RenamesFilesAndDirectoriesButNeverReplaces) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("a", "A");
    scratch.Write("b", "B");
    scratch.Write("d/inner", "I");
    scratch.MakeDir("e");
    EXPECT_FALSE(MoveEntry(scratch.Engine("a"), scratch.Engine("b")));
    EXPECT_FALSE(MoveEntry(scratch.Engine("d"), scratch.Engine("e")));
    EXPECT_FALSE(MoveEntry(scratch.Engine("a"), scratch.Engine("e")));
    EXPECT_FALSE(MoveEntry(scratch.Engine("missing"), scratch.Engine("c")));
    EXPECT_EQ(scratch.Read("b"), "B");
    EXPECT_TRUE(MoveEntry(scratch.Engine("a"), scratch.Engine("a")));
    scratch.ClearWrite("a");
    EXPECT_TRUE(MoveEntry(scratch.Engine("a"), scratch.Engine("c")));
    EXPECT_TRUE(MoveEntry(scratch.Engine("d"), scratch.Engine("e\\d2")));
    EXPECT_EQ(scratch.Read("c"), "A");
    EXPECT_EQ(scratch.Read("e/d2/inner"), "I");
    EXPECT_EQ(scratch.Names(), (std::set<std::string>{"b", "c", "e"}));
}

bool OnOtherFileSystem(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev != second.st_dev;
}

TEST(MoveEntryTest, FilesCrossFileSystemsDirectoriesDoNot) {
    Scratch here;
    Scratch there("/dev/shm");
    ASSERT_TRUE(here.ok());
    if (!there.ok() || !OnOtherFileSystem(here.Native("."), there.Native(".")))
        GTEST_SKIP() << "no second file system at /dev/shm";
    here.Write("f", std::string(200000, 'f'));
    SetModifiedTime(here.Native("f"), 1200000000, 0);
    here.ClearWrite("f");
    here.Write("d/inner", "I");
    there.Write("taken", "T");
    EXPECT_FALSE(MoveEntry(here.Engine("f"), there.Engine("taken")));
    EXPECT_EQ(there.Read("taken"), "T");
    ASSERT_TRUE(MoveEntry(here.Engine("f"), there.Engine("f")));
    EXPECT_EQ(there.Read("f"), std::string(200000, 'f'));
    EXPECT_EQ(ModifiedTime(there.Native("f")).tv_sec, 1200000000);
    EXPECT_EQ(GetEntryAttributes(there.Engine("f")), kAttributeArchive | kAttributeReadOnly);
    EXPECT_FALSE(MoveEntry(here.Engine("d"), there.Engine("d")));
    EXPECT_EQ(here.Names(), std::set<std::string>{"d"});
    EXPECT_EQ(here.Read("d/inner"), "I");
    EXPECT_EQ(there.Names(), (std::set<std::string>{"taken", "f"}));
}

// Inside a tree MOVE a file replaces an existing one, but only what a copy may replace, and
// never the moved file itself under another name.
TEST(MoveFileOverTest, ReplacesRegularFilesOnlyAndNeverItself) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("a", "A");
    scratch.Write("old", "O");
    scratch.Write("readonly", "R");
    scratch.ClearWrite("readonly");
    scratch.MakeDir("dir");
    ASSERT_EQ(mkfifo(scratch.Native("fifo").c_str(), 0600), 0);
    ASSERT_EQ(link(scratch.Native("a").c_str(), scratch.Native("hard").c_str()), 0);
    ASSERT_EQ(symlink(scratch.Native("a").c_str(), scratch.Native("soft").c_str()), 0);
    for (const char* refused : {"readonly", "dir", "fifo", "hard", "soft"})
        EXPECT_FALSE(MoveFileOver(scratch.Engine("a"), scratch.Engine(refused))) << refused;
    EXPECT_FALSE(MoveFileOver(scratch.Engine("dir"), scratch.Engine("new")));
    EXPECT_EQ(scratch.Read("a"), "A");
    EXPECT_EQ(scratch.Read("readonly"), "R");
    ASSERT_TRUE(MoveFileOver(scratch.Engine("a"), scratch.Engine("old")));
    EXPECT_EQ(scratch.Read("old"), "A");
    ASSERT_TRUE(MoveFileOver(scratch.Engine("old"), scratch.Engine("moved")));
    EXPECT_EQ(scratch.Read("moved"), "A");
    EXPECT_EQ(scratch.Names(),
              (std::set<std::string>{"moved", "readonly", "dir", "fifo", "hard", "soft"}));
}

// On another file system the new contents are complete beside the old file before they take its
// name, and the source goes last: a copy that runs out of room, or a source that cannot be
// removed, leaves both files as they were. Run in a child with a mount namespace of its own, with
// a tiny file system and a read-only view of the source's directory.
TEST(MoveFileOverTest, AcrossFileSystemsAFailureKeepsTheOldFileAndTheSource) {
    Scratch here;
    ASSERT_TRUE(here.ok());
    here.Write("small/f", "new");
    here.Write("big/f", std::string(1 << 20, 'b'));
    here.Write("fresh", "fresh");
    here.MakeDir("tiny");
    const int result = posix::test_support::ExitCodeInChild([&here] {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", here.Native("tiny").c_str(), "tmpfs", 0, "size=256k") != 0 ||
            mount(here.Native("small").c_str(), here.Native("small").c_str(), nullptr, MS_BIND,
                  nullptr) != 0 ||
            mount(nullptr, here.Native("small").c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                  nullptr) != 0)
            return 77;
        std::ofstream(here.Native("tiny/f")) << "old";
        int failures = 0;
        // No room for the copy.
        failures += MoveFileOver(here.Engine("big\\f"), here.Engine("tiny\\f"));
        // The copy is made, but the source cannot go.
        failures += MoveFileOver(here.Engine("small\\f"), here.Engine("tiny\\f"));
        failures += here.Read("tiny/f") != "old";
        failures += here.Read("small/f") != "new" || here.Read("big/f").size() != 1 << 20;
        failures += here.Names("tiny") != std::set<std::string>{"f"};
        // Room and a source that may go: the old file is replaced and nothing else is left.
        failures += !MoveFileOver(here.Engine("fresh"), here.Engine("tiny\\f"));
        failures +=
            here.Read("tiny/f") != "fresh" || here.Names("tiny") != std::set<std::string>{"f"};
        return failures;
    });
    if (result == 77)
        GTEST_SKIP() << "no mount namespace for a tiny file system here";
    EXPECT_EQ(result, 0);
}

// --- Temporaries of killed runs ---------------------------------------------------------------

// The id of a process that has ended and been waited for: no process runs under it.
pid_t EndedProcess() {
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

std::string TemporaryOf(pid_t process, const std::string& serial = "1f") {
    return ".~updater-" + std::to_string(process) + "-" + serial + ".tmp";
}

// The files and links of an ended process go; a live process's temporaries, this process's own,
// look-alikes, and entries of the name that are no file or link stay.
TEST(AbandonedTemporariesTest, OnlyThoseOfEndedProcessesGo) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    const pid_t ended = EndedProcess();
    const pid_t live = fork();
    if (live == 0) {
        pause();
        _exit(0);
    }
    ASSERT_GT(live, 0);
    scratch.Write(TemporaryOf(ended), "partial");
    ASSERT_EQ(symlink("elsewhere", scratch.Native(TemporaryOf(ended, "2")).c_str()), 0);
    const std::string id = std::to_string(ended);
    std::set<std::string> kept = {TemporaryOf(live),
                                  TemporaryOf(getpid()),
                                  "keep.txt",
                                  ".~updater-" + id + "-1F.tmp",
                                  "~updater-" + id + "-1.tmp",
                                  TemporaryOf(ended) + ".bak"};
    for (const std::string& name : kept)
        scratch.Write(name, "x");
    scratch.MakeDir(TemporaryOf(ended, "3"));
    ASSERT_EQ(mkfifo(scratch.Native(TemporaryOf(ended, "4")).c_str(), 0600), 0);
    kept.insert({TemporaryOf(ended, "3"), TemporaryOf(ended, "4")});

    RemoveAbandonedTemporaries(scratch.Engine(""));
    kill(live, SIGKILL);
    waitpid(live, nullptr, 0);
    EXPECT_EQ(scratch.Names(), kept);
    RemoveAbandonedTemporaries(scratch.Engine("missing"));  // nothing to read, nothing done
}

// A copy names its source only when the source is missing; a success keeps the last refusal.
TEST(LastFailureTest, NamesTheLastRefusedPathUntilCleared) {
    Scratch scratch;
    scratch.Write("a.dll", "new");
    ClearLastFailure();
    EXPECT_FALSE(CopyFileTo(scratch.Engine("none"), scratch.Engine("b.dll")));
    EXPECT_TRUE(CopyFileTo(scratch.Engine("a.dll"), scratch.Engine("b.dll")));
    EXPECT_EQ(LastFailure().path, scratch.Engine("none"));
    EXPECT_EQ(LastFailure().code, ENOENT);
    ClearLastFailure();
    EXPECT_EQ(LastFailure().code, 0);
}

TEST(DeleteFileTest, RefusesReadOnlyFilesAndDirectoriesAndRemovesLinksOnly) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("plain", "1");
    scratch.Write("readonly", "1");
    scratch.ClearWrite("readonly");
    scratch.Write("dir/target", "T");
    ASSERT_EQ(symlink(scratch.Native("dir/target").c_str(), scratch.Native("link").c_str()), 0);
    EXPECT_TRUE(DeleteFileEntry(scratch.Engine("plain")));
    EXPECT_FALSE(DeleteFileEntry(scratch.Engine("readonly")));
    EXPECT_FALSE(DeleteFileEntry(scratch.Engine("dir")));
    EXPECT_FALSE(DeleteFileEntry(scratch.Engine("missing")));
    EXPECT_TRUE(DeleteFileEntry(scratch.Engine("link")));
    EXPECT_EQ(scratch.Read("dir/target"), "T");
    EXPECT_EQ(scratch.Names(), (std::set<std::string>{"readonly", "dir"}));
}

// A link to a directory is a directory entry, as on Windows: it is removed as a directory, and
// only the link goes, whatever lies behind it.
TEST(DirectoryCallsTest, LinksToDirectoriesAreRemovedAsTheLinkOnly) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("target/keep", "k");
    for (const char* name : {"a", "b", "c"})
        ASSERT_EQ(symlink(scratch.Native("target").c_str(), scratch.Native(name).c_str()), 0);
    EXPECT_FALSE(DeleteFileEntry(scratch.Engine("a")));
    EXPECT_FALSE(DeleteFileEntry(scratch.Engine("a") + "\\"));
    EXPECT_TRUE(RemoveEmptyDirectory(scratch.Engine("a")));
    EXPECT_TRUE(RemoveEmptyDirectory(scratch.Engine("b") + "\\"));
    EXPECT_TRUE(RemoveEmptyDirectory(scratch.Engine("c") + "\\\\"));
    EXPECT_EQ(scratch.Names(), std::set<std::string>{"target"});
    EXPECT_EQ(scratch.Read("target/keep"), "k");
}

TEST(DirectoryCallsTest, MakeAndRemoveFollowWindows) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("f", "1");
    scratch.Write("full/x", "1");
    EXPECT_TRUE(MakeDirectory(scratch.Engine("new")));
    EXPECT_FALSE(MakeDirectory(scratch.Engine("new")));
    EXPECT_FALSE(MakeDirectory(scratch.Engine("f")));
    EXPECT_FALSE(MakeDirectory(scratch.Engine("a\\b")));
    EXPECT_FALSE(MakeDirectory(scratch.Engine("star*")));
    EXPECT_TRUE(MakeDirectory(scratch.Engine("slash") + "\\"));
    EXPECT_FALSE(RemoveEmptyDirectory(scratch.Engine("full")));
    EXPECT_FALSE(RemoveEmptyDirectory(scratch.Engine("f")));
    EXPECT_FALSE(RemoveEmptyDirectory(scratch.Engine("missing")));
    EXPECT_TRUE(RemoveEmptyDirectory(scratch.Engine("new")));
    EXPECT_TRUE(RemoveEmptyDirectory(scratch.Engine("slash") + "\\"));
    EXPECT_EQ(scratch.Names(), (std::set<std::string>{"f", "full"}));
}

// --- Last-write date --------------------------------------------------------------------------

TEST(LastWriteDateTest, LocalDateOfFilesThatNobodyHoldsOpen) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("f", "1");
    scratch.MakeDir("d");
    tm local{};
    local.tm_year = 2021 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 14;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    SetModifiedTime(scratch.Native("f"), mktime(&local), 0);
    LocalDate date;
    ASSERT_TRUE(ReadLastWriteDate(scratch.Engine("f"), date));
    EXPECT_EQ(date.year, 2021);
    EXPECT_EQ(date.month, 3);
    EXPECT_EQ(date.day, 14);
    EXPECT_FALSE(ReadLastWriteDate(scratch.Engine("d"), date));
    EXPECT_FALSE(ReadLastWriteDate(scratch.Engine("missing"), date));
    int held = open(scratch.Native("f").c_str(), O_RDONLY);
    EXPECT_FALSE(ReadLastWriteDate(scratch.Engine("f"), date));
    close(held);
    EXPECT_TRUE(ReadLastWriteDate(scratch.Engine("f"), date));
}

// --- Same entry, entry within ------------------------------------------------------------------

TEST(EntryIdentityTest, SameEntrySeesThroughNamesAndLinks) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("d/sub/f", "1");
    scratch.Write("g", "1");
    ASSERT_EQ(symlink(scratch.Native("d").c_str(), scratch.Native("alias").c_str()), 0);
    ASSERT_EQ(link(scratch.Native("g").c_str(), scratch.Native("hard").c_str()), 0);
    EXPECT_TRUE(IsSameEntry(scratch.Engine("d"), scratch.Engine("d")));
    EXPECT_TRUE(IsSameEntry(scratch.Engine("d"), scratch.Engine(".\\d\\sub\\..") + "\\"));
    EXPECT_TRUE(IsSameEntry(scratch.Engine("d"), scratch.Engine("alias")));
    EXPECT_TRUE(IsSameEntry(scratch.Engine("d\\sub\\f"), scratch.Engine("alias\\sub\\f")));
    EXPECT_TRUE(IsSameEntry(scratch.Engine("g"), scratch.Engine("hard")));
    EXPECT_FALSE(IsSameEntry(scratch.Engine("d"), scratch.Engine("d\\sub")));
    EXPECT_FALSE(
        IsSameEntry(scratch.Engine("d"), scratch.Engine("D")));  // names are case-sensitive
    EXPECT_FALSE(IsSameEntry(scratch.Engine("d"), scratch.Engine("missing")));
    EXPECT_FALSE(IsSameEntry(scratch.Engine("missing"), scratch.Engine("missing")));
    EXPECT_FALSE(IsSameEntry("C:\\", "C:\\"));
}

TEST(EntryIdentityTest, WithinFollowsWhereTheDirectoryReallyIs) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.MakeDir("src/sub/deep");
    scratch.MakeDir("other");
    ASSERT_EQ(symlink(scratch.Native("src/sub").c_str(), scratch.Native("other/in").c_str()), 0);
    EXPECT_TRUE(LiesWithin(scratch.Engine("src"), scratch.Engine("src")));
    EXPECT_TRUE(LiesWithin(scratch.Engine("src\\sub\\deep"), scratch.Engine("src")));
    EXPECT_TRUE(LiesWithin(scratch.Engine("other\\in"), scratch.Engine("src")));
    EXPECT_TRUE(LiesWithin(scratch.Engine("other\\in\\deep"), scratch.Engine("src\\sub")));
    EXPECT_TRUE(LiesWithin(scratch.Engine("src"), "\\"));
    EXPECT_FALSE(LiesWithin(scratch.Engine("src"), scratch.Engine("src\\sub")));
    EXPECT_FALSE(LiesWithin(scratch.Engine("other"), scratch.Engine("src")));
    EXPECT_FALSE(LiesWithin(scratch.Engine("src\\sub\\..\\..\\other"), scratch.Engine("src")));
    EXPECT_FALSE(LiesWithin(scratch.Engine("missing"), scratch.Engine("")));
    EXPECT_FALSE(LiesWithin(scratch.Engine("src"), scratch.Engine("missing")));
}

// Judged as the kernel walks the path: only reads, so texts that name the root are safe here.
TEST(PlaceTest, RootsAreFoundHoweverTheyAreWritten) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.MakeDir("d/sub");
    ASSERT_EQ(symlink("/", scratch.Native("d/up").c_str()), 0);
    ASSERT_EQ(symlink("..", scratch.Native("d/sub/parent").c_str()), 0);
    ASSERT_EQ(symlink("loop", scratch.Native("d/loop").c_str()), 0);
    std::string climb = scratch.Engine("d");
    for (int i = 0; i < 64; ++i)
        climb += "\\..";
    for (const std::string& root :
         {std::string("\\"), std::string("\\\\"), std::string("\\."), std::string("\\.."),
          std::string("\\tmp/.."), std::string("\\\\.\\.."), climb, scratch.Engine("d\\up\\."),
          scratch.Engine("d\\up\\..\\"), scratch.Engine("d\\sub\\parent\\up\\.")})
        EXPECT_EQ(PlaceOf(root), Place::kRoot) << root;
    for (const std::string& inRoot :
         {std::string("\\x.ini"), std::string("\\.\\*"), std::string("\\..\\*"),
          std::string("\\\\.\\*"), std::string("\\tmp"), std::string("\\tmp\\"), climb + "\\*",
          scratch.Engine("d\\up\\*"), scratch.Engine("d\\sub\\parent\\up\\etc")})
        EXPECT_EQ(PlaceOf(inRoot), Place::kInRoot) << inRoot;
    // A link named last is the link itself, wherever it leads.
    for (const std::string& elsewhere :
         {scratch.Engine("d\\up"), scratch.Engine("d\\up\\"), scratch.Engine("d\\missing\\..\\*"),
          scratch.Engine("d\\sub\\parent"), std::string("\\tmp\\x")})
        EXPECT_EQ(PlaceOf(elsewhere), Place::kElsewhere) << elsewhere;
    for (const std::string& nowhere :
         {std::string(""), std::string("C:\\"), scratch.Engine("d\\loop\\x")})
        EXPECT_EQ(PlaceOf(nowhere), Place::kNowhere) << nowhere;
}

// Relative paths are taken against the working directory. Run in a child, which may move to
// the root without disturbing other tests.
TEST(PlaceTest, RelativePathsStartAtTheWorkingDirectory) {
    const int result = posix::test_support::ExitCodeInChild([] {
        int failures = 0;
        failures += chdir("/tmp") != 0;
        failures += PlaceOf(".") != Place::kInRoot || PlaceOf(".\\*") != Place::kElsewhere;
        failures += PlaceOf("..") != Place::kRoot || PlaceOf("x") != Place::kElsewhere;
        failures += chdir("/") != 0;
        failures += PlaceOf(".") != Place::kRoot || PlaceOf(".\\*") != Place::kInRoot;
        failures += PlaceOf("*") != Place::kInRoot || PlaceOf("tmp\\x") != Place::kElsewhere;
        return failures;
    });
    EXPECT_EQ(result, 0);
}

// --- Last-write date while others open the file -----------------------------------------------

// The check that nobody else holds the file open must never end the process, however often
// another process opens the file meanwhile. Run in a child process, so that a failure is seen
// as its exit status rather than the end of the test program.
TEST(LastWriteDateTest, OthersOpeningTheFileNeverEndTheProcess) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.Write("busy", "1");
    const std::string native = scratch.Native("busy");
    const std::string engine = scratch.Engine("busy");
    const pid_t checker = fork();
    ASSERT_GE(checker, 0);
    if (checker == 0) {
        const pid_t opener = fork();
        if (opener == 0) {
            // Ends with the checker, however the checker ends.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const time_t deadline = time(nullptr) + 60;
            while (getppid() != 1 && time(nullptr) < deadline) {
                const int fd = open(native.c_str(), O_RDONLY);
                if (fd >= 0)
                    close(fd);
            }
            _exit(0);
        }
        LocalDate date;
        for (int i = 0; i < 50000; ++i)
            ReadLastWriteDate(engine, date);
        kill(opener, SIGKILL);
        waitpid(opener, nullptr, 0);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(checker, &status, 0), checker);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace updater::platform
