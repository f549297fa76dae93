#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "temp_directory-win32.h"

namespace updater::platform {
namespace {

using win32::TempDirectory;

std::vector<std::string> Search(const std::string& pattern) {
    std::vector<std::string> names;
    DirectorySearch search;
    FoundEntry entry;
    for (bool more = search.Start(pattern, entry); more; more = search.Next(entry)) {
        names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class FileSystem : public ::testing::Test {
  protected:
    TempDirectory dir_;
};

TEST_F(FileSystem, SearchFollowsTheWindowsRules) {
    dir_.Write("a.txt", "1");
    dir_.Write("b.TXT", "2");
    dir_.Write("noext", "3");
    ASSERT_TRUE(MakeDirectory(dir_ / "sub"));
    using Names = std::vector<std::string>;
    EXPECT_EQ(Search(dir_ / "*.txt"), (Names{"a.txt", "b.TXT"}));
    EXPECT_EQ(Search(dir_ / "*.*"), (Names{".", "..", "a.txt", "b.TXT", "noext", "sub"}));
    EXPECT_EQ(Search(dir_ / "sub"), (Names{"sub"}));
    EXPECT_EQ(Search(dir_ / "sub\\"), Names{});
    EXPECT_EQ(Search(dir_ / "missing*"), Names{});
    EXPECT_EQ(Search(""), Names{});
}

TEST_F(FileSystem, SearchReportsDirectoriesAndUnicodeNames) {
    ASSERT_TRUE(MakeDirectory(dir_ / "ファイル"));
    DirectorySearch search;
    FoundEntry entry;
    ASSERT_TRUE(search.Start(dir_ / "ファ*", entry));
    EXPECT_EQ(entry.name, "ファイル");
    EXPECT_NE(entry.attributes & kAttributeDirectory, 0u);
    EXPECT_FALSE(search.Next(entry));
    search.Close();
    EXPECT_FALSE(search.Next(entry));
}

TEST_F(FileSystem, AttributesAreReadAndSet) {
    const std::string file = dir_.Write("f", "x");
    EXPECT_EQ(GetEntryAttributes(file) & ~0x2000u, kAttributeArchive);
    EXPECT_NE(GetEntryAttributes(dir_.path()) & kAttributeDirectory, 0u);
    EXPECT_EQ(GetEntryAttributes(dir_ / "missing"), kInvalidAttributes);
    ASSERT_TRUE(SetEntryAttributes(file, kAttributeReadOnly | kAttributeHidden));
    // Wine reports every file as one to archive; Windows would not here.
    EXPECT_EQ(GetEntryAttributes(file) & 0xFF & ~kAttributeArchive,
              kAttributeReadOnly | kAttributeHidden);
    ASSERT_TRUE(SetEntryAttributes(file, 0));  // zero clears every settable bit
    EXPECT_EQ(GetEntryAttributes(file) & (kAttributeReadOnly | kAttributeHidden), 0u);
    EXPECT_FALSE(SetEntryAttributes(dir_ / "missing", kAttributeNormal));
}

TEST_F(FileSystem, CopyOverwritesAndKeepsTheDate) {
    const std::string from = dir_.Write("from", "new");
    const std::string to = dir_.Write("to", "old content");
    ASSERT_TRUE(CopyFileTo(from, to));
    EXPECT_EQ(TempDirectory::Read(to), "new");
    LocalDate source, copy;
    ASSERT_TRUE(ReadLastWriteDate(from, source));
    ASSERT_TRUE(ReadLastWriteDate(to, copy));
    EXPECT_EQ(source.year, copy.year);
    EXPECT_EQ(source.day, copy.day);
    EXPECT_FALSE(CopyFileTo(dir_ / "missing", dir_ / "x"));
    EXPECT_FALSE(CopyFileTo(from, dir_ / "nodir\\x"));
}

TEST_F(FileSystem, MoveRefusesAnExistingDestination) {
    const std::string from = dir_.Write("from", "1");
    const std::string taken = dir_.Write("taken", "2");
    EXPECT_FALSE(MoveEntry(from, taken));
    EXPECT_EQ(TempDirectory::Read(taken), "2");
    ASSERT_TRUE(MoveEntry(from, dir_ / "moved"));
    EXPECT_EQ(GetEntryAttributes(from), kInvalidAttributes);
    ASSERT_TRUE(MakeDirectory(dir_ / "d"));
    dir_.Write("d\\inside", "3");
    EXPECT_TRUE(MoveEntry(dir_ / "d", dir_ / "e"));  // a non-empty directory moves whole
    EXPECT_EQ(TempDirectory::Read(dir_ / "e\\inside"), "3");
}

TEST_F(FileSystem, DeleteRefusesReadOnlyFilesAndDirectories) {
    const std::string file = dir_.Write("f", "x");
    ASSERT_TRUE(SetEntryAttributes(file, kAttributeReadOnly));
    EXPECT_FALSE(DeleteFileEntry(file));
    ASSERT_TRUE(SetEntryAttributes(file, kAttributeNormal));
    EXPECT_TRUE(DeleteFileEntry(file));
    EXPECT_FALSE(DeleteFileEntry(file));
    ASSERT_TRUE(MakeDirectory(dir_ / "d"));
    EXPECT_FALSE(DeleteFileEntry(dir_ / "d"));
}

TEST_F(FileSystem, DirectoriesAreMadeAndRemovedOneAtATime) {
    EXPECT_FALSE(MakeDirectory(dir_ / "a\\b"));  // no parent
    ASSERT_TRUE(MakeDirectory(dir_ / "a"));
    EXPECT_FALSE(MakeDirectory(dir_ / "a"));  // exists
    ASSERT_TRUE(MakeDirectory(dir_ / "a\\b"));
    EXPECT_FALSE(RemoveEmptyDirectory(dir_ / "a"));  // not empty
    EXPECT_TRUE(RemoveEmptyDirectory(dir_ / "a\\b"));
    EXPECT_TRUE(RemoveEmptyDirectory(dir_ / "a"));
    EXPECT_FALSE(RemoveEmptyDirectory(dir_ / "a"));
}

TEST_F(FileSystem, LastWriteDateIsTodayForANewFileOnly) {
    const std::string file = dir_.Write("f", "x");
    SYSTEMTIME today;
    GetLocalTime(&today);
    LocalDate date;
    ASSERT_TRUE(ReadLastWriteDate(file, date));
    EXPECT_EQ(date.year, today.wYear);
    EXPECT_EQ(date.month, today.wMonth);
    EXPECT_EQ(date.day, today.wDay);
    EXPECT_FALSE(ReadLastWriteDate(dir_ / "missing", date));
    EXPECT_FALSE(ReadLastWriteDate(dir_.path(), date));  // a directory cannot be opened
    EXPECT_FALSE(ReadLastWriteDate(dir_ / "*", date));
}

TEST_F(FileSystem, LastWriteDateNeedsTheFileUnshared) {
    const std::string file = dir_.Write("f", "x");
    HANDLE held = CreateFileW(win32::Widen(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    LocalDate date;
    EXPECT_FALSE(ReadLastWriteDate(file, date));
    CloseHandle(held);
    EXPECT_TRUE(ReadLastWriteDate(file, date));
}

}  // namespace
}  // namespace updater::platform
