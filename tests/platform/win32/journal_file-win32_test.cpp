#include "platform/journal_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/file_system.h"
#include "platform/win32/internal-win32.h"
#include "temp_directory-win32.h"

namespace updater::platform {
namespace {

using win32::TempDirectory;
using win32::Widen;

// Read-only and hidden; Wine adds the archive bit as it likes.
DWORD Bits(const std::string& path) {
    return GetFileAttributesW(Widen(path).c_str()) &
           (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The open itself is the lock: a second open is told the journal is held until it is removed.
TEST(JournalFile, HeldWhileOpenAndGoneWhenRemoved) {
    TempDirectory directory;
    const std::string path = directory / "journal";
    JournalFile first;
    JournalFile second;
    EXPECT_EQ(first.Open(path, false), JournalFile::Opened::kMissing);
    ASSERT_EQ(first.Open(path, true), JournalFile::Opened::kOpened);
    EXPECT_EQ(second.Open(path, true), JournalFile::Opened::kHeld);
    EXPECT_TRUE(first.Append("one\n") && first.Flush() && first.Append("two\n"));
    std::string contents;
    EXPECT_TRUE(first.ReadAll(contents));
    EXPECT_EQ(contents, "one\ntwo\n");
    EXPECT_TRUE(first.Clear() && first.ReadAll(contents) && contents.empty());
    first.Remove();
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(second.Open(path, false), JournalFile::Opened::kMissing);
}

// A copy writes into the file it replaces here, so the old file is renamed aside, unless the
// copy is refused anyway; a kept file comes back over whatever is there, read-only or not, and a
// second name of a file still in place only goes, leaving its attributes as they were.
TEST(JournalFile, KeepingAndPuttingBack) {
    TempDirectory directory;
    const std::string file = directory.Write("a.txt", "old");
    const std::string kept = directory / "kept";
    ASSERT_TRUE(KeepBeforeOverwrite(file, kept));
    EXPECT_FALSE(Exists(file));
    directory.Write("a.txt", "new");
    SetFileAttributesW(Widen(file).c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(PutBack(kept, file));
    EXPECT_EQ(TempDirectory::Read(file), "old");
    EXPECT_FALSE(Exists(kept));

    SetFileAttributesW(Widen(file).c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(KeepBeforeOverwrite(file, kept));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(LinkEntry(file, kept));
    ASSERT_TRUE(PutBack(kept, file));
    EXPECT_FALSE(Exists(kept));
    EXPECT_EQ(Bits(file), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));

    std::string state;
    ASSERT_TRUE(ReadEntryState(file, state));
    SetFileAttributesW(Widen(file).c_str(), FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(WriteEntryState(file, state));
    EXPECT_EQ(Bits(file), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(RemoveEntry(file) && !Exists(file) && RemoveEntry(file));
    EXPECT_TRUE(OnSameFileSystem(directory.path(), directory.path()));
}

// Files, a read-only one among them, directories and a path that is gone are made durable; the
// read-only bit stays.
TEST(JournalFile, ChangesMadeDurable) {
    TempDirectory directory;
    const std::string file = directory.Write("a.txt", "new");
    const std::string locked = directory.Write("b.txt", "read-only");
    SetFileAttributesW(Widen(locked).c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string made = directory / "made";
    ASSERT_TRUE(CreateDirectoryW(Widen(made).c_str(), nullptr));
    EXPECT_TRUE(MakeChangesDurable({file, locked, made, made + "\\gone\\c.txt", directory.path()}));
    EXPECT_EQ(Bits(locked), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    SetFileAttributesW(Widen(locked).c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace updater::platform
