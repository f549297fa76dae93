#include "fileops/walker.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/script_fixture.h"

namespace updater {
namespace {

namespace fs = std::filesystem;

struct Visit {
    std::string path;  // relative to the test directory, with backslashes
    int kind;
};

// Records every visit; fails the visit of `failPath` with `failKind`.
struct Recorder {
    std::string base;
    std::vector<Visit> visits;
    std::string failPath;
    int failKind = -1;
    void* seenContext = nullptr;
};

int Record(const String& path, int kind, void* context) {
    Recorder& recorder = *static_cast<Recorder*>(context);
    recorder.seenContext = context;
    std::string full = path.CStr();
    std::string relative =
        full.rfind(recorder.base, 0) == 0 ? full.substr(recorder.base.size()) : full;
    recorder.visits.push_back({relative, kind});
    return relative == recorder.failPath && kind == recorder.failKind ? 0 : 1;
}

class WalkerTest : public testing::ScriptTest {
  protected:
    void SetUp() override {
        ScriptTest::SetUp();
        recorder_.base = EnginePath("") + "\\";
    }
    // d: a.txt, b.dat, sub\ (b.txt, deep\ (c.txt)), empty\ .
    void MakeTree() {
        WriteFile("d/a.txt", "a");
        WriteFile("d/b.dat", "b");
        WriteFile("d/sub/b.txt", "b");
        WriteFile("d/sub/deep/c.txt", "c");
        fs::create_directories(NativePath("d/empty"));
    }
    bool Walk(const std::string& relative, bool recursive) {
        return WalkFiles(String(EnginePath(relative).c_str()), Record, recursive, &recorder_);
    }
    std::set<std::string> VisitedPaths(int kind) const {
        std::set<std::string> paths;
        for (const Visit& visit : recorder_.visits)
            if (visit.kind == kind)
                paths.insert(visit.path);
        return paths;
    }

    Recorder recorder_;
};

// Every visit of an entry inside a directory lies between that directory's enter and leave, and
// each directory is entered and left exactly once.
void ExpectDepthFirst(const std::vector<Visit>& visits) {
    std::map<std::string, std::pair<size_t, size_t>> spans;
    for (size_t i = 0; i < visits.size(); ++i) {
        if (visits[i].kind == VisitDirEnter) {
            EXPECT_EQ(spans.count(visits[i].path), 0u) << visits[i].path;
            spans[visits[i].path] = {i, visits.size()};
        } else if (visits[i].kind == VisitDirLeave) {
            ASSERT_EQ(spans.count(visits[i].path), 1u) << visits[i].path;
            EXPECT_EQ(spans[visits[i].path].second, visits.size()) << visits[i].path;
            spans[visits[i].path].second = i;
        }
    }
    for (size_t i = 0; i < visits.size(); ++i) {
        for (const auto& [directory, span] : spans) {
            if (visits[i].path.rfind(directory + "\\", 0) != 0)
                continue;
            EXPECT_LT(span.first, i) << visits[i].path;
            EXPECT_GT(span.second, i) << visits[i].path;
        }
    }
}

TEST_F(WalkerTest, RecursiveWalkVisitsTheContentsDepthFirst) {
    MakeTree();
    ASSERT_TRUE(Walk("d", true));
    ExpectDepthFirst(recorder_.visits);
    EXPECT_EQ(
        VisitedPaths(VisitFile),
        (std::set<std::string>{"d\\a.txt", "d\\b.dat", "d\\sub\\b.txt", "d\\sub\\deep\\c.txt"}));
    const std::set<std::string> directories = {"d\\sub", "d\\sub\\deep", "d\\empty"};
    EXPECT_EQ(VisitedPaths(VisitDirEnter), directories);
    EXPECT_EQ(VisitedPaths(VisitDirLeave), directories);
    EXPECT_EQ(recorder_.visits.size(), 10u);
    EXPECT_EQ(recorder_.seenContext, &recorder_);
}

TEST_F(WalkerTest, EmptyDirectoryIsWalkedWithoutVisits) {
    fs::create_directories(NativePath("empty"));
    EXPECT_TRUE(Walk("empty", true));
    EXPECT_TRUE(recorder_.visits.empty());
}

TEST_F(WalkerTest, NoMatchOrMissingPathFailsWithoutVisits) {
    MakeTree();
    EXPECT_FALSE(Walk("d\\*.none", true));
    EXPECT_FALSE(Walk("missing", true));
    EXPECT_FALSE(Walk("missing\\*", false));
    EXPECT_FALSE(Walk("d\\a.txt\\", false));
    EXPECT_FALSE(WalkFiles(String(""), Record, true, &recorder_));
    EXPECT_TRUE(recorder_.visits.empty());
}

// A visitor that fails anywhere ends the walk at every level: nothing later is visited and the
// enclosing directories are not left.
TEST_F(WalkerTest, FailureStopsTheWalkAtEveryLevel) {
    MakeTree();
    const std::vector<std::pair<std::string, int>> failures = {{"d\\a.txt", VisitFile},
                                                               {"d\\sub\\b.txt", VisitFile},
                                                               {"d\\sub\\deep\\c.txt", VisitFile},
                                                               {"d\\sub\\deep", VisitDirEnter},
                                                               {"d\\sub\\deep", VisitDirLeave},
                                                               {"d\\empty", VisitDirLeave}};
    for (const auto& [path, kind] : failures) {
        recorder_.visits.clear();
        recorder_.failPath = path;
        recorder_.failKind = kind;
        EXPECT_FALSE(Walk("d", true)) << path;
        ASSERT_FALSE(recorder_.visits.empty());
        EXPECT_EQ(recorder_.visits.back().path, path);
        EXPECT_EQ(recorder_.visits.back().kind, kind);
        for (const Visit& visit : recorder_.visits) {
            bool encloses = path.rfind(visit.path + "\\", 0) == 0;
            EXPECT_FALSE(encloses && visit.kind == VisitDirLeave) << path << " left " << visit.path;
        }
    }
}

TEST_F(WalkerTest, PatternFiltersTheFirstLevelAndWalksMatchingDirectoriesWhole) {
    MakeTree();
    WriteFile("d/dir.txt/inner.bin", "i");
    ASSERT_TRUE(Walk("d\\*.txt", true));
    ExpectDepthFirst(recorder_.visits);
    EXPECT_EQ(VisitedPaths(VisitFile),
              (std::set<std::string>{"d\\a.txt", "d\\dir.txt\\inner.bin"}));
    EXPECT_EQ(VisitedPaths(VisitDirEnter), std::set<std::string>{"d\\dir.txt"});

    recorder_.visits.clear();
    ASSERT_TRUE(Walk("d\\s*", true));
    EXPECT_EQ(VisitedPaths(VisitFile),
              (std::set<std::string>{"d\\sub\\b.txt", "d\\sub\\deep\\c.txt"}));
}

TEST_F(WalkerTest, WithoutRecursionDirectoriesAreVisitedButNotEntered) {
    MakeTree();
    ASSERT_TRUE(Walk("d\\*", false));
    EXPECT_EQ(VisitedPaths(VisitFile), (std::set<std::string>{"d\\a.txt", "d\\b.dat"}));
    EXPECT_EQ(VisitedPaths(VisitDirEnter), (std::set<std::string>{"d\\sub", "d\\empty"}));
    EXPECT_EQ(recorder_.visits.size(), 6u);

    recorder_.visits.clear();
    ASSERT_TRUE(Walk("d\\sub", false));
    ASSERT_EQ(recorder_.visits.size(), 2u);
    EXPECT_EQ(recorder_.visits[0].path, "d\\sub");
    EXPECT_EQ(recorder_.visits[0].kind, VisitDirEnter);
    EXPECT_EQ(recorder_.visits[1].kind, VisitDirLeave);

    recorder_.visits.clear();
    ASSERT_TRUE(Walk("d\\a.txt", true));
    ASSERT_EQ(recorder_.visits.size(), 1u);
    EXPECT_EQ(recorder_.visits[0].path, "d\\a.txt");
    EXPECT_EQ(recorder_.visits[0].kind, VisitFile);
}

// Trailing backslashes go; leading ones stay, since they make the root (here every test path
// starts with one) or a network path.
TEST_F(WalkerTest, TrailingBackslashesGoLeadingOnesStay) {
    WriteFile("d/f.txt", "f");
    recorder_.base = "";
    ASSERT_TRUE(WalkFiles(String((EnginePath("d") + "\\\\").c_str()), Record, true, &recorder_));
    ASSERT_EQ(recorder_.visits.size(), 1u);
    EXPECT_EQ(recorder_.visits[0].path, EnginePath("d\\f.txt"));
    EXPECT_EQ(recorder_.visits[0].path[0], '\\');

    recorder_.visits.clear();
    ASSERT_TRUE(WalkFiles(String(("\\" + EnginePath("d")).c_str()), Record, true, &recorder_));
    ASSERT_EQ(recorder_.visits.size(), 1u);
    EXPECT_EQ(recorder_.visits[0].path, "\\" + EnginePath("d\\f.txt"));

    EXPECT_STREQ(WithoutTrailingBackslashes("\\\\server\\share\\\\").CStr(), "\\\\server\\share");
    EXPECT_STREQ(WithoutTrailingBackslashes("\\").CStr(), "");
}

// A bare name lies in the current directory.
TEST_F(WalkerTest, BareNamesAreRelativeToTheCurrentDirectory) {
    WriteFile("here/a.txt", "a");
    WriteFile("here/b.dat", "b");
    const fs::path previous = fs::current_path();
    fs::current_path(NativePath("here"));
    recorder_.base = "";
    bool walked = WalkFiles(String("*.txt"), Record, false, &recorder_);
    fs::current_path(previous);
    ASSERT_TRUE(walked);
    ASSERT_EQ(recorder_.visits.size(), 1u);
    EXPECT_EQ(recorder_.visits[0].path, ".\\a.txt");
}

// A link to a directory is entered and left like a directory, but what it leads to is not
// walked: it lies outside the named tree. A link to a file is a file.
TEST_F(WalkerTest, LinksInsideATreeAreNotEntered) {
    WriteFile("outside/keep.txt", "k");
    WriteFile("outside.txt", "o");
    fs::create_directories(NativePath("d"));
    fs::create_directory_symlink(NativePath("outside"), NativePath("d/link"));
    fs::create_symlink(NativePath("outside.txt"), NativePath("d/file"));
    ASSERT_TRUE(Walk("d", true));
    EXPECT_EQ(recorder_.visits.size(), 3u);
    EXPECT_EQ(VisitedPaths(VisitDirEnter), std::set<std::string>{"d\\link"});
    EXPECT_EQ(VisitedPaths(VisitDirLeave), std::set<std::string>{"d\\link"});
    EXPECT_EQ(VisitedPaths(VisitFile), std::set<std::string>{"d\\file"});
    ExpectDepthFirst(recorder_.visits);
    recorder_.visits.clear();
    ASSERT_TRUE(Walk("d\\l*", true));
    EXPECT_EQ(recorder_.visits.size(), 2u);
    EXPECT_EQ(VisitedPaths(VisitDirEnter), std::set<std::string>{"d\\link"});
}

// A Linux name holding a backslash cannot be written in a script's path; the walk stops on it
// instead of passing it by, so the procedure fails rather than report a tree done that it left
// partly untouched.
TEST_F(WalkerTest, NamesThatAPathCannotExpressStopTheWalk) {
    WriteFile("d/a.txt", "a");
    WriteFile("d/sub/odd\\name", "x");
    EXPECT_FALSE(Walk("d", true));
    EXPECT_FALSE(Walk("d\\sub\\*", false));
    EXPECT_TRUE(Walk("d\\a.txt", false));
    EXPECT_FALSE(CreateDirectoryTree(String((EnginePath("d") + "\\a.txt\\x").c_str())));
}

// Another process may make a directory of the path between the test and the creation; such a
// directory is as good as one made here, and is not reported as made.
TEST_F(WalkerTest, DirectoriesMadeMeanwhileCountAsMade) {
    fs::create_directories(NativePath("p/q"));
    std::vector<String> made;
    ASSERT_TRUE(CreateDirectoryTree(String((EnginePath("p") + "\\q\\r").c_str()), &made));
    ASSERT_EQ(made.size(), 1u);
    // The race itself: many children create one deep tree at once; every one must succeed.
    std::string deep = EnginePath("race");
    for (int level = 0; level < 40; ++level)
        deep += "\\l" + std::to_string(level);
    std::vector<pid_t> children;
    for (int i = 0; i < 6; ++i) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            _exit(CreateDirectoryTree(String(deep.c_str())) ? 0 : 1);
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
}

// "link\" still names the link, never what it leads to.
TEST_F(WalkerTest, LinkTestIgnoresTrailingBackslashes) {
    WriteFile("outside/keep.txt", "k");
    fs::create_directory_symlink(NativePath("outside"), NativePath("link"));
    EXPECT_TRUE(IsLink(EnginePath("link").c_str()));
    EXPECT_TRUE(IsLink((EnginePath("link") + "\\").c_str()));
    EXPECT_TRUE(IsLink((EnginePath("link") + "\\\\").c_str()));
    EXPECT_FALSE(IsLink(EnginePath("outside").c_str()));
    EXPECT_FALSE(IsLink((EnginePath("outside") + "\\").c_str()));
    EXPECT_FALSE(IsLink("\\"));
    EXPECT_FALSE(IsLink(""));
}

TEST_F(WalkerTest, AttributesAndDirectoryTest) {
    WriteFile("f.txt", "f");
    uint32_t attributes = 0;
    EXPECT_TRUE(GetPathAttributes(String(EnginePath("f.txt").c_str()), attributes));
    EXPECT_EQ(attributes & 0x10u, 0u);
    EXPECT_FALSE(GetPathAttributes(String(EnginePath("missing").c_str()), attributes));
    EXPECT_EQ(attributes, 0xFFFFFFFFu);
    EXPECT_TRUE(IsDirectory(EnginePath("").c_str()));
    EXPECT_TRUE(IsDirectory((EnginePath("") + "\\").c_str()));
    EXPECT_FALSE(IsDirectory(EnginePath("f.txt").c_str()));
    EXPECT_FALSE(IsDirectory(EnginePath("missing").c_str()));
}

TEST_F(WalkerTest, CreateDirectoryTreeTellsWhatItMade) {
    fs::create_directories(NativePath("a"));
    std::vector<String> made;
    EXPECT_TRUE(CreateDirectoryTree(String(EnginePath("a\\b\\\\c\\").c_str()), &made));
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(std::string(made[0].CStr()), EnginePath("a\\b"));
    EXPECT_EQ(std::string(made[1].CStr()), EnginePath("a\\b\\\\c"));
    made.clear();
    EXPECT_TRUE(CreateDirectoryTree(String(EnginePath("a\\b").c_str()), &made));
    EXPECT_TRUE(made.empty());
}

TEST_F(WalkerTest, DirectoryPartOfAPath) {
    EXPECT_STREQ(DirectoryPartOf("\\tmp\\a.txt").CStr(), "\\tmp");
    EXPECT_STREQ(DirectoryPartOf("\\a.txt").CStr(), "");
    EXPECT_STREQ(DirectoryPartOf("a.txt").CStr(), ".");
    EXPECT_STREQ(DirectoryPartOf("").CStr(), "");
    EXPECT_STREQ(DirectoryPartOf("d\\").CStr(), "d");
}

TEST_F(WalkerTest, CreateDirectoryTreeCreatesMissingLevelsParentsFirst) {
    WriteFile("file", "f");
    EXPECT_TRUE(CreateDirectoryTree(String(EnginePath("a\\b\\c").c_str())));
    EXPECT_TRUE(fs::is_directory(NativePath("a/b/c")));
    EXPECT_TRUE(CreateDirectoryTree(String(EnginePath("a\\b\\c").c_str())));
    EXPECT_TRUE(CreateDirectoryTree(String((EnginePath("x\\y") + "\\\\").c_str())));
    EXPECT_TRUE(fs::is_directory(NativePath("x/y")));
    EXPECT_TRUE(CreateDirectoryTree(String(EnginePath("p\\\\q").c_str())));
    EXPECT_TRUE(fs::is_directory(NativePath("p/q")));
    EXPECT_TRUE(CreateDirectoryTree(String(EnginePath("file").c_str())));
    EXPECT_FALSE(CreateDirectoryTree(String(EnginePath("file\\sub").c_str())));
    EXPECT_FALSE(CreateDirectoryTree(String("C:\\Updater\\Test")));
    EXPECT_TRUE(CreateDirectoryTree(String("single")));
    EXPECT_FALSE(fs::exists("single"));
}

}  // namespace
}  // namespace updater
