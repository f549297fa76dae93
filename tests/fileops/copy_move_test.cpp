#include "fileops/copy_move.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fileops/file_kinds.h"
#include "fileops/fileops_fixture.h"
#include "fileops/root_guard.h"
#include "fileops/walker.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using testing::Message;

class CopyMoveTest : public testing::FileOpsTest {
  protected:
    bool Copy(const std::string& from, const std::string& to) {
        return Run("COPY", "FROM=" + from + "\nTO=" + to + "\n", LoadCopy, ExecuteCopy);
    }
    bool Move(const std::string& from, const std::string& to) {
        return Run("MOVE", "FROM=" + from + "\nTO=" + to + "\n", LoadMove, ExecuteMove);
    }
    // src: a.dll, b.txt, x.dll\inner.txt, sub\c.dll, sub\deep\d.txt
    void MakeSource() {
        WriteFile("src/a.dll", "a");
        WriteFile("src/b.txt", "b");
        WriteFile("src/x.dll/inner.txt", "i");
        WriteFile("src/sub/c.dll", "c");
        WriteFile("src/sub/deep/d.txt", "d");
    }
};

// --- COPY -------------------------------------------------------------------------------------

TEST_F(CopyMoveTest, SingleFilesAreCopiedIntoNewDirectoriesAndReplaceExistingOnes) {
    WriteFile("one.txt", "1");
    WriteFile("two.txt", "2");
    WriteFile("dst/two.txt", "old");
    const std::string from = EnginePath("one.txt") + " , " + EnginePath("two.txt");
    const std::string to = EnginePath("new\\deeper\\one.txt") + " ,  " + EnginePath("dst\\two.txt");
    EXPECT_TRUE(Copy(from, to));
    EXPECT_TRUE(flag);
    EXPECT_EQ(Read("new/deeper/one.txt"), "1");
    EXPECT_EQ(Read("dst/two.txt"), "2");
    EXPECT_EQ(Read("one.txt"), "1");
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(CopyMoveTest, TreeCopyIntoAnExistingTargetReplacesReusesAndKeeps) {
    MakeSource();
    WriteFile("dst/a.dll", "old");
    WriteFile("dst/only.txt", "mine");
    WriteFile("dst/sub/own.txt", "own");
    ASSERT_TRUE(CopyPath(Engine("src"), Engine("dst")));
    EXPECT_EQ(Read("dst/a.dll"), "a");
    EXPECT_EQ(Read("dst/only.txt"), "mine");
    EXPECT_EQ(Read("dst/sub/own.txt"), "own");
    EXPECT_EQ(Read("dst/sub/deep/d.txt"), "d");
    EXPECT_EQ(Read("dst/x.dll/inner.txt"), "i");
    EXPECT_EQ(Names("dst"), (std::set<std::string>{"a.dll", "b.txt", "x.dll", "sub", "only.txt"}));
    EXPECT_EQ(Read("src/sub/c.dll"), "c");
}

TEST_F(CopyMoveTest, WildcardCopyDropsTheLastTargetItem) {
    MakeSource();
    ASSERT_TRUE(CopyPath(Engine("src\\*.dll"), Engine("dst\\*.dll")));
    EXPECT_EQ(Names("dst"), (std::set<std::string>{"a.dll", "x.dll"}));
    EXPECT_EQ(Read("dst/x.dll/inner.txt"), "i");
    // A target written as a directory loses its last item too, unless it ends in a backslash.
    ASSERT_TRUE(CopyPath(Engine("src\\*.txt"), Engine("other\\ignored")));
    EXPECT_EQ(Names("other"), std::set<std::string>{"b.txt"});
    ASSERT_TRUE(CopyPath(Engine("src\\*.txt"), String((EnginePath("third") + "\\").c_str())));
    EXPECT_EQ(Names("third"), std::set<std::string>{"b.txt"});
}

TEST_F(CopyMoveTest, MissingSourcesFailAfterTheTargetDirectoryIsMade) {
    MakeSource();
    EXPECT_FALSE(CopyPath(Engine("src\\*.none"), Engine("t1\\*.none")));
    EXPECT_TRUE(fs::is_directory(NativePath("t1")));
    EXPECT_FALSE(CopyPath(Engine("src\\missing.txt"), Engine("t2\\sub\\missing.txt")));
    EXPECT_TRUE(fs::is_directory(NativePath("t2/sub")));
    // "?" makes no wildcard: the name is taken as it is written.
    EXPECT_FALSE(CopyPath(Engine("src\\?.dll"), Engine("t3\\?.dll")));
    EXPECT_FALSE(Exists("t3/a.dll"));
}

// A directory named with trailing backslashes is that directory, as source and as target.
TEST_F(CopyMoveTest, TrailingBackslashesOnDirectoriesAreAccepted) {
    MakeSource();
    ASSERT_TRUE(CopyPath(String((EnginePath("src") + "\\").c_str()),
                         String((EnginePath("dst") + "\\\\").c_str())));
    EXPECT_EQ(Read("dst/sub/deep/d.txt"), "d");
    EXPECT_EQ(Names("dst"), (std::set<std::string>{"a.dll", "b.txt", "x.dll", "sub"}));
}

// An empty symbol or list item, or a "." or ".." too many, must not turn the target into a root.
// Only the judgement is tested here, which reads and never writes: what a refused COPY or MOVE
// leaves behind is tested in a throwaway root, where a regression can harm nothing.
TEST_F(CopyMoveTest, TargetsAtARootAreJudgedByThePlace) {
    for (const char* to : {"", "\\", "\\\\", "C:", "C:\\", "\\.", "\\..", "\\.\\", "\\tmp\\..",
                           "\\tmp/..", "\\\\.\\.."}) {
        EXPECT_TRUE(IsUnsafeTarget(String(to))) << to;
    }
    for (const char* to : {"\\tmp", "\\.\\tmp", "."})
        EXPECT_FALSE(IsUnsafeTarget(String(to))) << to;
    // A file's destination is judged as the file: one named in a root is not a root.
    EXPECT_FALSE(IsUnsafeItem(String("\\x.ini")));
    EXPECT_TRUE(IsUnsafeItem(String("\\..")));
    // ".." as many times as the directory is deep, and as many again, lead to the root; links
    // count by where they lead.
    fs::create_directory_symlink("/", NativePath("up"));
    const std::string native = NativePath("");
    std::string climb = EnginePath("");
    for (long i = 0; i < 2 * std::count(native.begin(), native.end(), '/'); ++i)
        climb += "\\..";
    EXPECT_TRUE(IsUnsafeTarget(String(climb.c_str()))) << climb;
    EXPECT_TRUE(IsUnsafeTarget(Engine("up")));
    EXPECT_TRUE(IsUnsafeTarget(Engine("up\\.")));
    EXPECT_FALSE(IsUnsafeTarget(Engine("up\\tmp")));
    EXPECT_FALSE(IsUnsafeTarget(Engine("src\\..")));
}

// A tree copied into itself would grow while it is walked. The target is told by what it is,
// not by how it is written: ".", ".." and links lead into the source as well.
TEST_F(CopyMoveTest, TargetInsideTheSourceTreeFails) {
    MakeSource();
    fs::create_directory_symlink(NativePath("src/sub"), NativePath("inner"));
    for (const char* target :
         {"src\\backup", "src\\sub\\..\\new", "inner\\deeper", ".\\src\\sub"}) {
        EXPECT_FALSE(CopyPath(Engine("src"), Engine(target))) << target;
        EXPECT_FALSE(MovePath(Engine("src"), Engine(target))) << target;
    }
    EXPECT_FALSE(MovePath(Engine("src"), Engine("src")));
    // The directories made for a refused target are taken away again.
    EXPECT_FALSE(Exists("src/backup"));
    EXPECT_FALSE(Exists("src/new"));
    EXPECT_FALSE(Exists("src/sub/deeper"));
    EXPECT_EQ(Names("src"), (std::set<std::string>{"a.dll", "b.txt", "x.dll", "sub"}));
    EXPECT_EQ(Names("src/sub"), (std::set<std::string>{"c.dll", "deep"}));
    EXPECT_TRUE(CopyPath(Engine("src"), Engine("srcdata")));
}

// A MOVE onto its own source, by whatever name, would remove each file to make room for itself.
TEST_F(CopyMoveTest, MoveOntoItsOwnSourceFailsAndKeepsEveryFile) {
    MakeSource();
    fs::create_directory_symlink(NativePath("src"), NativePath("alias"));
    const std::string from = EnginePath("src\\*.dll");
    const std::string to = EnginePath("src\\x");
    EXPECT_FALSE(Move(from, to));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(14, from.c_str(), to.c_str())});
    for (const char* target : {".\\src\\x", "alias\\x", "src\\sub\\..\\x"}) {
        EXPECT_FALSE(MovePath(Engine("src\\*.dll"), Engine(target))) << target;
        EXPECT_FALSE(CopyPath(Engine("src\\*.dll"), Engine(target))) << target;
    }
    for (const char* target : {".\\src", "alias", "src\\sub\\.."})
        EXPECT_FALSE(MovePath(Engine("src"), Engine(target))) << target;
    EXPECT_EQ(Names("src"), (std::set<std::string>{"a.dll", "b.txt", "x.dll", "sub"}));
    EXPECT_EQ(Read("src/a.dll"), "a");
    EXPECT_EQ(Read("src/x.dll/inner.txt"), "i");
    EXPECT_EQ(Read("src/sub/deep/d.txt"), "d");
}

// Even met inside a walk, a destination that is the moved file itself is never removed first.
TEST_F(CopyMoveTest, MoveVisitorNeverRemovesTheFileItMoves) {
    WriteFile("src/a.txt", "a");
    TransferContext context;
    context.skipItems = Engine("src").CountTokens("\\");
    context.targetDir = Engine(".\\src");
    EXPECT_EQ(MoveVisitor(Engine("src\\a.txt"), VisitFile, &context), 0);
    EXPECT_EQ(Read("src/a.txt"), "a");
}

// A pattern whose target lies inside a directory it matches would walk into its own copies.
TEST_F(CopyMoveTest, PatternTargetInsideAMatchedDirectoryFailsBeforeAnythingIsWritten) {
    MakeSource();
    fs::create_directory_symlink(NativePath("src/sub"), NativePath("outside"));
    for (const char* target :
         {"src\\sub\\x", "src\\sub\\deep\\x", "src\\new\\deeper\\x", "outside\\x"}) {
        EXPECT_FALSE(CopyPath(Engine("src\\*"), Engine(target))) << target;
        EXPECT_FALSE(MovePath(Engine("src\\*"), Engine(target))) << target;
    }
    EXPECT_FALSE(CopyPath(Engine("src\\s*"), Engine("src\\sub\\x")));
    EXPECT_EQ(Names("src"), (std::set<std::string>{"a.dll", "b.txt", "x.dll", "sub"}));
    EXPECT_EQ(Names("src/sub"), (std::set<std::string>{"c.dll", "deep"}));
    EXPECT_EQ(Names("src/sub/deep"), std::set<std::string>{"d.txt"});
}

// A target inside the pattern's directory is fine when the pattern does not match its way there.
TEST_F(CopyMoveTest, PatternTargetBesideItsMatchesWorks) {
    MakeSource();
    ASSERT_TRUE(CopyPath(Engine("src\\*.txt"), Engine("src\\backup\\*.txt")));
    EXPECT_EQ(Names("src/backup"), std::set<std::string>{"b.txt"});
    ASSERT_TRUE(MovePath(Engine("src\\*.dll"), Engine("src\\sub\\*.dll")));
    EXPECT_EQ(Names("src"), (std::set<std::string>{"b.txt", "sub", "backup"}));
    EXPECT_EQ(Names("src/sub"), (std::set<std::string>{"a.dll", "c.dll", "x.dll", "deep"}));
    EXPECT_EQ(Read("src/sub/x.dll/inner.txt"), "i");
}

// --- MOVE -------------------------------------------------------------------------------------

TEST_F(CopyMoveTest, SingleFileMoveOntoAnExistingFileFailsWithMessage14) {
    WriteFile("a.txt", "new");
    WriteFile("dst/a.txt", "old");
    const std::string from = EnginePath("a.txt");
    const std::string to = EnginePath("dst\\a.txt");
    EXPECT_FALSE(Move(from, to));
    EXPECT_FALSE(flag);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(14, from.c_str(), to.c_str())});
    EXPECT_EQ(Read("a.txt"), "new");
    EXPECT_EQ(Read("dst/a.txt"), "old");
    EXPECT_TRUE(MovePath(Engine("a.txt"), Engine("made\\b.txt")));
    EXPECT_EQ(Read("made/b.txt"), "new");
    EXPECT_FALSE(Exists("a.txt"));
}

TEST_F(CopyMoveTest, TreeMoveRemovesTheSourceAndReplacesSameNamedFiles) {
    MakeSource();
    WriteFile("dst/sub/c.dll", "old");
    WriteFile("dst/keep.txt", "k");
    ASSERT_TRUE(MovePath(Engine("src"), Engine("dst")));
    EXPECT_FALSE(Exists("src"));
    EXPECT_EQ(Read("dst/sub/c.dll"), "c");
    EXPECT_EQ(Read("dst/sub/deep/d.txt"), "d");
    EXPECT_EQ(Read("dst/keep.txt"), "k");
    EXPECT_EQ(Names("dst"), (std::set<std::string>{"a.dll", "b.txt", "x.dll", "sub", "keep.txt"}));
}

// A killed run's temporaries go from each directory that a COPY or MOVE writes into and that was
// there before: the target, the directories of the tree, the directory of a single file. A
// directory that the walk leaves alone keeps its own.
TEST_F(CopyMoveTest, AbandonedTemporariesGoFromTheDirectoriesWrittenInto) {
    const pid_t ended = fork();
    if (ended == 0)
        _exit(0);
    waitpid(ended, nullptr, 0);
    const std::string name = ".~updater-" + std::to_string(ended) + "-5.tmp";
    MakeSource();
    for (const std::string directory : {"dst/", "dst/sub/", "one/", "moved/sub/deep/", "other/"})
        WriteFile(directory + name, "partial");
    ASSERT_TRUE(CopyPath(Engine("src"), Engine("dst")));
    ASSERT_TRUE(CopyPath(Engine("src\\a.dll"), Engine("one\\a.dll")));
    ASSERT_TRUE(MovePath(Engine("src"), Engine("moved")));
    EXPECT_EQ(Names("dst"), (std::set<std::string>{"a.dll", "b.txt", "x.dll", "sub"}));
    EXPECT_EQ(Names("dst/sub"), (std::set<std::string>{"c.dll", "deep"}));
    EXPECT_EQ(Names("one"), std::set<std::string>{"a.dll"});
    EXPECT_EQ(Names("moved/sub/deep"), std::set<std::string>{"d.txt"});
    EXPECT_EQ(Names("other"), std::set<std::string>{name});
}

TEST_F(CopyMoveTest, WildcardMoveTakesMatchesWholeAndLeavesTheDirectory) {
    MakeSource();
    ASSERT_TRUE(MovePath(Engine("src\\*.dll"), Engine("dst\\")));
    EXPECT_EQ(Names("src"), (std::set<std::string>{"b.txt", "sub"}));
    EXPECT_EQ(Names("dst"), (std::set<std::string>{"a.dll", "x.dll"}));
    EXPECT_EQ(Read("dst/x.dll/inner.txt"), "i");
}

// A move that cannot finish keeps every file it has not moved, source included.
TEST_F(CopyMoveTest, FailedTreeMoveKeepsTheSource) {
    MakeSource();
    WriteFile("dst/sub/deep/d.txt", "protected");
    MakeReadOnly("dst/sub/deep/d.txt");
    EXPECT_FALSE(Move(EnginePath("src"), EnginePath("dst")));
    EXPECT_EQ(Read("src/sub/deep/d.txt"), "d");
    EXPECT_EQ(Read("dst/sub/deep/d.txt"), "protected");
    EXPECT_EQ(BoxTexts().size(), 1u);
}

// Files cross file systems one by one; the source tree goes once everything has arrived.
TEST_F(CopyMoveTest, TreeMoveToAnotherFileSystem) {
    const testing::TempDirectory other("/dev/shm");
    if (!other.ok())
        GTEST_SKIP() << "no /dev/shm";
    struct stat here {};
    struct stat there {};
    stat(NativePath("").c_str(), &here);
    stat(other.path().c_str(), &there);
    if (here.st_dev == there.st_dev)
        GTEST_SKIP() << "/dev/shm is on the same file system";
    MakeSource();
    bool moved = MovePath(Engine("src"), String(other.Engine("moved").c_str()));
    std::set<std::string> arrived;
    for (const auto& entry : fs::recursive_directory_iterator(other.Native("moved")))
        arrived.insert(fs::relative(entry.path(), other.Native("moved")).string());
    EXPECT_TRUE(moved);
    EXPECT_FALSE(Exists("src"));
    EXPECT_EQ(arrived, (std::set<std::string>{"a.dll", "b.txt", "x.dll", "x.dll/inner.txt", "sub",
                                              "sub/c.dll", "sub/deep", "sub/deep/d.txt"}));
}

TEST_F(CopyMoveTest, LinkSourceIsMovedAsTheLink) {
    WriteFile("target/keep.txt", "k");
    fs::create_directory_symlink(NativePath("target"), NativePath("link"));
    fs::create_directory_symlink(NativePath("target"), NativePath("slashed"));
    ASSERT_TRUE(MovePath(Engine("link"), Engine("moved\\link")));
    ASSERT_TRUE(MovePath(String((EnginePath("slashed") + "\\").c_str()), Engine("moved\\s")));
    EXPECT_TRUE(fs::is_symlink(NativePath("moved/link")));
    EXPECT_TRUE(fs::is_symlink(NativePath("moved/s")));
    EXPECT_EQ(Names("target"), std::set<std::string>{"keep.txt"});
    EXPECT_FALSE(Exists("link"));
    EXPECT_FALSE(Exists("slashed"));
}

// Inside a tree, a link is copied and moved as the link, with its target text as written; what
// it leads to is never read or touched.
TEST_F(CopyMoveTest, LinksInsideATreeAreCopiedAndMovedAsLinks) {
    WriteFile("target/keep.txt", "k");
    WriteFile("secret.txt", "secret");
    WriteFile("src/a.txt", "a");
    fs::create_directory_symlink(NativePath("target"), NativePath("src/link"));
    fs::create_symlink("../secret.txt", NativePath("src/flink"));
    ASSERT_TRUE(CopyPath(Engine("src"), Engine("copy")));
    ASSERT_TRUE(CopyPath(Engine("src\\*link"), Engine("pattern\\x")));
    for (const char* copy : {"copy", "pattern"}) {
        const fs::path directory = NativePath(copy);
        EXPECT_TRUE(fs::is_symlink(directory / "link")) << copy;
        EXPECT_EQ(fs::read_symlink(directory / "link"), NativePath("target")) << copy;
        EXPECT_TRUE(fs::is_symlink(directory / "flink")) << copy;
        EXPECT_EQ(fs::read_symlink(directory / "flink"), "../secret.txt") << copy;
    }
    // A copy over an existing file replaces it with the link; a directory in the way fails.
    WriteFile("again/flink", "old");
    ASSERT_TRUE(CopyPath(Engine("src"), Engine("again")));
    EXPECT_TRUE(fs::is_symlink(NativePath("again/flink")));
    WriteFile("blocked/link/inside.txt", "i");
    EXPECT_FALSE(CopyPath(Engine("src"), Engine("blocked")));
    EXPECT_EQ(Read("blocked/link/inside.txt"), "i");
    ASSERT_TRUE(MovePath(Engine("src"), Engine("moved")));
    EXPECT_TRUE(fs::is_symlink(NativePath("moved/link")));
    EXPECT_EQ(fs::read_symlink(NativePath("moved/flink")), "../secret.txt");
    EXPECT_EQ(Read("moved/a.txt"), "a");
    EXPECT_FALSE(Exists("src"));
    EXPECT_EQ(Names("target"), std::set<std::string>{"keep.txt"});
    EXPECT_EQ(Read("secret.txt"), "secret");
}

// --- Executors --------------------------------------------------------------------------------

TEST_F(CopyMoveTest, FailureOnTheThirdOfFourItemsNamesThatPair) {
    for (const char* name : {"1", "2", "4"})
        WriteFile(std::string(name) + ".txt", name);
    std::string from;
    std::string to;
    for (const char* name : {"1", "2", "3", "4"}) {
        from += (from.empty() ? "" : ",") + EnginePath(std::string(name) + ".txt");
        to += (to.empty() ? "" : ",") + EnginePath("dst\\" + std::string(name) + ".txt");
    }
    EXPECT_FALSE(Copy(from, to));
    EXPECT_FALSE(flag);
    EXPECT_EQ(Names("dst"), (std::set<std::string>{"1.txt", "2.txt"}));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(8, EnginePath("3.txt").c_str(),
                                                           EnginePath("dst\\3.txt").c_str())});
}

TEST_F(CopyMoveTest, ItemCountsAndMissingKeys) {
    WriteFile("1.txt", "1");
    EXPECT_FALSE(Copy("", EnginePath("x")));
    EXPECT_EQ(BoxTexts().back(), Message(4, "P", "FROM"));
    // A FROM item without a TO item has an empty destination.
    EXPECT_FALSE(Move(EnginePath("1.txt") + "," + EnginePath("1.txt"), EnginePath("2.txt")));
    EXPECT_EQ(BoxTexts().back(), Message(14, EnginePath("1.txt").c_str(), ""));
    EXPECT_EQ(Read("2.txt"), "1");
    EXPECT_FALSE(Run("COPY", "FROM=x\n", LoadCopy, ExecuteCopy));
    EXPECT_EQ(BoxTexts().back(), Message(2, "P", "TO"));
}

}  // namespace
}  // namespace updater
