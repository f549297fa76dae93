#include <sys/xattr.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fileops/attr.h"
#include "fileops/delete.h"
#include "fileops/file_kinds.h"
#include "fileops/fileops_fixture.h"
#include "fileops/root_guard.h"
#include "platform/file_system.h"

namespace updater {
namespace {

namespace fs = std::filesystem;
using testing::Message;

class FileKindsTest : public testing::FileOpsTest {
  protected:
    bool Delete(const std::string& file) {
        return Run("DELETE", "FILE=" + file + "\n", LoadDelete, ExecuteDelete);
    }
    bool Attr(const std::string& file, const std::string& arg) {
        return Run("ATTR", "FILE=" + file + "\nARG=" + arg + "\n", LoadAttr, ExecuteAttr);
    }
    bool MakeDirs(const std::string& dir) {
        return Run("MAKEDIR", "DIR=" + dir + "\n", LoadMakeDir, ExecuteMakeDir);
    }
    uint32_t Attributes(const std::string& relative) {
        return platform::GetEntryAttributes(EnginePath(relative));
    }
};

// --- DELETE -----------------------------------------------------------------------------------

TEST_F(FileKindsTest, DeletingWhatIsNotThereSucceeds) {
    MakeDir("d");
    EXPECT_TRUE(Delete(EnginePath("missing.txt") + "," + EnginePath("d\\*.none")));
    EXPECT_TRUE(flag);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(FileKindsTest, DeleteRemovesFilesTreesAndPatternMatches) {
    WriteFile("f.txt", "f");
    WriteFile("tree/a/b/c.txt", "c");
    WriteFile("tree/top.txt", "t");
    MakeDir("tree/empty");
    WriteFile("work/x.tmp", "x");
    WriteFile("work/sub/y.txt", "y");
    WriteFile("slash/z.txt", "z");
    ASSERT_TRUE(Delete(EnginePath("f.txt") + " , " + EnginePath("tree") + "," +
                       EnginePath("work\\*") + "," + EnginePath("slash") + "\\"));
    EXPECT_TRUE(flag);
    EXPECT_FALSE(Exists("f.txt"));
    EXPECT_FALSE(Exists("tree"));
    EXPECT_FALSE(Exists("slash"));
    EXPECT_TRUE(Names("work").empty());
}

// The deletion stops at the read-only file; what was deleted before stays deleted.
TEST_F(FileKindsTest, DeleteStopsAtAReadOnlyFileWithMessage10) {
    WriteFile("first.txt", "1");
    WriteFile("tree/a.txt", "a");
    WriteFile("tree/sub/ro.txt", "r");
    WriteFile("tree/sub/b.txt", "b");
    MakeReadOnly("tree/sub/ro.txt");
    WriteFile("last.txt", "l");
    const std::string item = EnginePath("tree");
    EXPECT_FALSE(Delete(EnginePath("first.txt") + "," + item + "," + EnginePath("last.txt")));
    EXPECT_FALSE(flag);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(10, item.c_str())});
    EXPECT_FALSE(Exists("first.txt"));
    EXPECT_EQ(Read("tree/sub/ro.txt"), "r");
    EXPECT_TRUE(Exists("last.txt"));
}

TEST_F(FileKindsTest, DeleteOfALinkRemovesOnlyTheLink) {
    WriteFile("target/keep.txt", "k");
    WriteFile("target.txt", "t");
    MakeDir("tree");
    MakeDir("matches");
    fs::create_directory_symlink(NativePath("target"), NativePath("link"));
    fs::create_directory_symlink(NativePath("target"), NativePath("slashed"));
    fs::create_directory_symlink(NativePath("target"), NativePath("tree/inner"));
    fs::create_directory_symlink(NativePath("target"), NativePath("matches/inner"));
    fs::create_symlink(NativePath("target.txt"), NativePath("file"));
    fs::create_symlink(NativePath("target.txt"), NativePath("tree/file"));
    ASSERT_TRUE(Delete(EnginePath("link") + "," + EnginePath("tree") + "," + EnginePath("slashed") +
                       "\\," + EnginePath("matches\\*")));
    EXPECT_FALSE(Exists("link"));
    EXPECT_FALSE(Exists("tree"));
    EXPECT_FALSE(Exists("slashed"));
    EXPECT_TRUE(Names("matches").empty());
    // "file\" names nothing: a link to a file is not a directory.
    ASSERT_TRUE(Delete(EnginePath("file") + "\\"));
    EXPECT_TRUE(Exists("file"));
    ASSERT_TRUE(Delete(EnginePath("file")));
    EXPECT_FALSE(Exists("file"));
    EXPECT_EQ(Names("target"), std::set<std::string>{"keep.txt"});
    EXPECT_EQ(Read("target.txt"), "t");
}

TEST_F(FileKindsTest, RootsAndPatternsInRootsAreNeverDeleted) {
    for (const char* item :
         {"\\", "\\\\", "C:", "C:\\", "\\*", "\\*.*", "\\?", "C:\\*", "*", "*.tmp"}) {
        EXPECT_TRUE(IsUnsafeItem(String(item))) << item;
    }
    for (const char* item : {"", "\\tmp", "\\tmp\\*", "C:\\Work\\*", "name", "\\\\srv\\share\\*"}) {
        EXPECT_FALSE(IsUnsafeItem(String(item))) << item;
    }
    for (const char* target : {"", "\\", "C:", "c:\\\\"}) {
        EXPECT_TRUE(IsUnsafeTarget(String(target))) << target;
    }
    EXPECT_FALSE(IsUnsafeTarget(String("\\tmp")));
    EXPECT_FALSE(IsUnsafeTarget(String(".")));
    // Harmless on Linux, where drives do not exist: the item fails with message 10.
    EXPECT_FALSE(Delete("C:\\*"));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(10, "C:\\*")});
}

TEST_F(FileKindsTest, DeleteAndAttrNeedAFileItem) {
    EXPECT_FALSE(Delete(""));
    EXPECT_FALSE(Attr("", "0x01"));
    EXPECT_FALSE(MakeDirs(""));
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{Message(4, "P", "FILE"), Message(4, "P", "FILE"),
                                        Message(4, "P", "DIR")}));
}

// --- ATTR -------------------------------------------------------------------------------------

TEST_F(FileKindsTest, AttrSetsEveryMatchingFileOfOneDirectory) {
    WriteFile("d/a.txt", "a");
    WriteFile("d/b.txt", "b");
    WriteFile("d/c.dat", "c");
    WriteFile("d/sub.txt/inner.txt", "i");
    if (setxattr(NativePath("d/a.txt").c_str(), "user.updater.attributes", "6", 1, 0) != 0)
        GTEST_SKIP() << "no user xattrs here";
    ASSERT_TRUE(Attr(EnginePath("d\\*.txt"), "0x01"));
    EXPECT_TRUE(flag);
    EXPECT_EQ(Attributes("d/a.txt"), 0x01u);  // hidden, system and archive are gone
    EXPECT_EQ(Attributes("d/b.txt"), 0x01u);
    EXPECT_EQ(Attributes("d/c.dat"), 0x20u);
    EXPECT_EQ(Attributes("d/sub.txt"), 0x10u);
    EXPECT_EQ(Attributes("d/sub.txt/inner.txt"), 0x20u);
}

TEST_F(FileKindsTest, AttrValuesWithoutHexPrefixOrMissingAreZero) {
    WriteFile("a.txt", "a");
    WriteFile("b.txt", "b");
    MakeReadOnly("a.txt");
    MakeReadOnly("b.txt");
    ASSERT_TRUE(Attr(EnginePath("a.txt") + "," + EnginePath("b.txt"), "20"));
    EXPECT_EQ(Attributes("a.txt"), 0x80u);
    EXPECT_EQ(Attributes("b.txt"), 0x80u);
}

TEST_F(FileKindsTest, AttrOnADirectoryChangesNothing) {
    MakeDir("d");
    ASSERT_TRUE(Attr(EnginePath("d") + "," + EnginePath("d") + "\\", "0x01,0x01"));
    EXPECT_EQ(Attributes("d"), 0x10u);
}

// A link matched by the pattern never passes the change on to what it leads to.
TEST_F(FileKindsTest, AttrNeverChangesWhatALinkLeadsTo) {
    WriteFile("src/a.txt", "a");
    WriteFile("other/o.txt", "o");
    WriteFile("outside.txt", "x");
    fs::create_directory_symlink(NativePath("other"), NativePath("src/dir"));
    fs::create_symlink(NativePath("outside.txt"), NativePath("src/file"));
    ASSERT_TRUE(Attr(EnginePath("src\\*"), "0x01"));
    EXPECT_EQ(Attributes("src/a.txt") & 0x01u, 0x01u);
    EXPECT_EQ(Attributes("other"), 0x10u);
    EXPECT_EQ(Attributes("outside.txt"), 0x20u);
    EXPECT_NE(fs::status(NativePath("other")).permissions() & fs::perms::owner_write,
              fs::perms::none);
}

TEST_F(FileKindsTest, AttrOnAMissingPathShowsMessage12) {
    WriteFile("a.txt", "a");
    const std::string missing = EnginePath("*.none");
    EXPECT_FALSE(Attr(EnginePath("a.txt") + "," + missing, "0x01,0x2"));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(12, missing.c_str(), 2u)});
    EXPECT_EQ(Attributes("a.txt"), 0x01u);
}

// --- MAKEDIR ----------------------------------------------------------------------------------

TEST_F(FileKindsTest, MakeDirCreatesSeveralLevelsAndAcceptsExistingOnes) {
    MakeDir("have");
    ASSERT_TRUE(MakeDirs(EnginePath("have") + "," + EnginePath("have\\one\\two\\three") + "," +
                         EnginePath("slash") + "\\"));
    EXPECT_TRUE(flag);
    EXPECT_TRUE(fs::is_directory(NativePath("have/one/two/three")));
    EXPECT_TRUE(fs::is_directory(NativePath("slash")));
}

TEST_F(FileKindsTest, MakeDirStopsAtTheFirstItemThatCannotBeCreated) {
    WriteFile("file", "f");
    const std::string bad = EnginePath("file\\sub");
    EXPECT_FALSE(MakeDirs(EnginePath("first") + "," + bad + "," + EnginePath("third")));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(13, bad.c_str())});
    EXPECT_TRUE(fs::is_directory(NativePath("first")));
    EXPECT_FALSE(Exists("third"));
}

}  // namespace
}  // namespace updater
