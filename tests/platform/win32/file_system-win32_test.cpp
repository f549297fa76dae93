#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/win32/internal-win32.h"
#include "temp_directory-win32.h"

namespace updater::platform {
namespace {

using win32::TempDirectory;
using win32::Widen;
using Names = std::vector<std::string>;

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

// A device name, its "\\.\" form and a pipe are no files to write into. (Only copies are tried
// on them: a move that slipped through would rename a file over Wine's /dev/null.)
TEST_F(FileSystem, CopyRefusesDevicesAndPipes) {
    const std::string from = dir_.Write("from", "data");
    EXPECT_FALSE(CopyFileTo(from, "NUL"));
    EXPECT_FALSE(CopyFileTo(from, "\\\\.\\NUL"));
    EXPECT_FALSE(CopyEntryTo(from, "nul"));
    // Newer Windows no longer takes "nul.txt" in a directory for the device.
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(Widen(dir_ / "nul.txt").c_str(), MAX_PATH, full, nullptr);
    EXPECT_EQ(CopyFileTo(from, dir_ / "nul.txt"), std::wstring(full).rfind(L"\\\\.\\", 0) != 0);
    const std::string pipe = "\\\\.\\pipe\\updater-test-" + std::to_string(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(Widen(pipe).c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0,
                                     0, 0, nullptr);
    EXPECT_FALSE(CopyFileTo(from, pipe));
    CloseHandle(server);
    EXPECT_TRUE(CopyFileTo(from, dir_ / "plain"));
    EXPECT_EQ(TempDirectory::Read(dir_ / "plain"), "data");
}

TEST_F(FileSystem, CopyEntryCopiesFilesAndLinksAsThemselves) {
    const std::string file = dir_.Write("file", "content");
    ASSERT_TRUE(CopyEntryTo(file, dir_.Write("old", "old content")));
    EXPECT_EQ(TempDirectory::Read(dir_ / "old"), "content");
    ASSERT_TRUE(MakeDirectory(dir_ / "d"));
    EXPECT_FALSE(CopyEntryTo(dir_ / "d", dir_ / "x"));

    // Wine's CreateSymbolicLinkW makes nothing and says it did; Windows needs a privilege.
    const std::string link = dir_ / "link";
    CreateSymbolicLinkW(Widen(link).c_str(), Widen(file).c_str(), 0);
    CreateSymbolicLinkW(Widen(dir_ / "dirlink").c_str(), Widen(dir_ / "d").c_str(),
                        SYMBOLIC_LINK_FLAG_DIRECTORY);
    const uint32_t attributes = GetEntryAttributes(link);
    if (attributes == kInvalidAttributes || (attributes & kAttributeReparsePoint) == 0)
        GTEST_SKIP() << "no symbolic links here";
    ASSERT_TRUE(CopyEntryTo(link, dir_ / "copied"));
    EXPECT_NE(GetEntryAttributes(dir_ / "copied") & kAttributeReparsePoint, 0u);
    EXPECT_TRUE(IsSameEntry(dir_ / "copied", file));
    EXPECT_FALSE(CopyEntryTo(dir_ / "dirlink", dir_ / "dircopy"));
}

TEST_F(FileSystem, MoveOverReplacesRegularFilesOnlyAndKeepsBothWhenItFails) {
    const std::string from = dir_.Write("from", "new");
    const std::string to = dir_.Write("to", "old");
    ASSERT_TRUE(SetEntryAttributes(to, kAttributeHidden));  // replaced, as a move replaces it
    ASSERT_TRUE(MoveFileOver(from, to));
    EXPECT_EQ(TempDirectory::Read(to), "new");
    EXPECT_EQ(GetEntryAttributes(from), kInvalidAttributes);
    ASSERT_TRUE(MoveFileOver(to, from));

    const std::string kept = dir_.Write("kept", "K");
    ASSERT_TRUE(SetEntryAttributes(kept, kAttributeReadOnly));
    ASSERT_TRUE(MakeDirectory(dir_ / "d"));
    ASSERT_TRUE(CreateHardLinkW(Widen(dir_ / "hard").c_str(), Widen(from).c_str(), nullptr));
    // The source itself under another name would be replaced by itself.
    for (const std::string& refused : {kept, dir_ / "d", dir_ / "FROM", dir_ / "hard"})
        EXPECT_FALSE(MoveFileOver(from, refused)) << refused;
    EXPECT_FALSE(MoveFileOver(dir_ / "d", dir_ / "x"));
    ASSERT_TRUE(SetEntryAttributes(kept, kAttributeNormal));
    HANDLE held = CreateFileW(Widen(kept).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_FALSE(MoveFileOver(from, kept));  // held open without leave to delete it
    CloseHandle(held);
    EXPECT_EQ(TempDirectory::Read(from), "new");
    EXPECT_EQ(TempDirectory::Read(kept), "K");
}

// The way across volumes, taken here on one: the old file gives way only once the source is gone.
TEST_F(FileSystem, MoveByCopyLeavesBothFilesWhenItFails) {
    const std::string source = dir_.Write("source", "S");
    const std::string target = dir_.Write("target", "T");
    HANDLE held = CreateFileW(Widen(source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_FALSE(win32::MoveFileByCopy(source, target));
    EXPECT_FALSE(win32::MoveFileByCopy(source, dir_ / "new"));
    CloseHandle(held);
    EXPECT_EQ(TempDirectory::Read(target), "T");
    EXPECT_EQ(Search(dir_ / "*"), (Names{".", "..", "source", "target"}));

    // A read-only source may leave, as a rename would let it, and keeps its attribute.
    ASSERT_TRUE(SetEntryAttributes(source, kAttributeReadOnly));
    ASSERT_TRUE(win32::MoveFileByCopy(source, target));
    EXPECT_EQ(TempDirectory::Read(target), "S");
    EXPECT_EQ(GetEntryAttributes(target) & (kAttributeReadOnly | kAttributeHidden),
              kAttributeReadOnly);
    EXPECT_EQ(Search(dir_ / "*"), (Names{".", "..", "target"}));
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
