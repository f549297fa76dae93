#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "fileops/delete.h"
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

FILETIME LastWriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

// Over an existing file the copy is made beside it and renamed into place, never written into
// the old file (another name of which keeps the old contents): the destination takes the new
// contents, the source's attributes and time, and nothing is left beside it. Read-only and hidden
// destinations are refused before anything is written.
TEST_F(FileSystem, CopyOverAnExistingFileReplacesItWhole) {
    const std::string from = dir_.Write("from", "new contents");
    const std::string to = dir_.Write("to", "old");
    const FILETIME time = {0x12345600, 0x01c00000};
    HANDLE file = CreateFileW(Widen(from).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
    ASSERT_TRUE(SetEntryAttributes(from, kAttributeReadOnly));
    ASSERT_TRUE(CreateHardLinkW(Widen(dir_ / "twin").c_str(), Widen(to).c_str(), nullptr));
    ASSERT_TRUE(CopyFileTo(from, to));
    EXPECT_EQ(TempDirectory::Read(to), "new contents");
    EXPECT_EQ(TempDirectory::Read(dir_ / "twin"), "old");
    EXPECT_EQ(GetEntryAttributes(to) & (kAttributeReadOnly | kAttributeHidden | kAttributeSystem),
              kAttributeReadOnly);
    const FILETIME copied = LastWriteTime(to);
    EXPECT_EQ(copied.dwLowDateTime, time.dwLowDateTime);
    EXPECT_EQ(copied.dwHighDateTime, time.dwHighDateTime);
    EXPECT_EQ(Search(dir_ / "*"), (Names{".", "..", "from", "to", "twin"}));

    const std::string source = dir_.Write("source", "S");
    const std::string hidden = dir_.Write("hidden", "H");
    ASSERT_TRUE(SetEntryAttributes(hidden, kAttributeHidden));
    for (const std::string& refused : {to, hidden}) {
        ClearLastFailure();
        EXPECT_FALSE(CopyFileTo(source, refused)) << refused;
        EXPECT_EQ(LastFailure().code, ERROR_ACCESS_DENIED) << refused;
    }
    EXPECT_EQ(TempDirectory::Read(to), "new contents");
    EXPECT_EQ(TempDirectory::Read(hidden), "H");
    EXPECT_EQ(Search(dir_ / "*"), (Names{".", "..", "from", "hidden", "source", "to", "twin"}));
}

// The sleeper built with the tests, started with the seconds it is to wait.
PROCESS_INFORMATION StartSleeper(const wchar_t* seconds) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program = self;
    program = program.substr(0, program.rfind(L'\\')) + L"\\sleeper.exe";
    std::wstring line = L"\"" + program + L"\" " + seconds;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                   &startup, &started);
    return started;
}

std::string TemporaryOf(DWORD process, const std::string& serial = "1f") {
    return "~updater-" + std::to_string(process) + "-" + serial + ".tmp";
}

// What a killed run left goes: the temporaries of ended processes, whether the ended process is
// still known to the system or not. A running process's temporaries, this process's own,
// look-alikes and directories stay.
TEST_F(FileSystem, AbandonedTemporariesOfEndedProcessesGoOthersStay) {
    const PROCESS_INFORMATION live = StartSleeper(L"60");
    const PROCESS_INFORMATION ended = StartSleeper(L"0");
    const PROCESS_INFORMATION gone = StartSleeper(L"0");
    ASSERT_NE(live.hProcess, nullptr);
    ASSERT_NE(ended.hProcess, nullptr);
    ASSERT_NE(gone.hProcess, nullptr);
    WaitForSingleObject(ended.hProcess, 30000);
    WaitForSingleObject(gone.hProcess, 30000);
    for (HANDLE handle : {gone.hProcess, gone.hThread, ended.hThread, live.hThread})
        CloseHandle(handle);
    dir_.Write(TemporaryOf(ended.dwProcessId), "partial");
    // As a copy waits beside its destination: hidden, and read-only from its source.
    const std::string waiting = dir_.Write(TemporaryOf(gone.dwProcessId), "partial");
    ASSERT_TRUE(SetEntryAttributes(waiting, kAttributeReadOnly | kAttributeHidden));
    const std::string id = std::to_string(gone.dwProcessId);
    Names kept = {TemporaryOf(live.dwProcessId),
                  TemporaryOf(GetCurrentProcessId()),
                  "keep.txt",
                  "~updater-" + id + "-01.tmp",
                  ".~updater-" + id + "-1.tmp",
                  TemporaryOf(gone.dwProcessId, "2") + ".bak"};
    for (const std::string& name : kept)
        dir_.Write(name, "x");
    ASSERT_TRUE(MakeDirectory(dir_ / TemporaryOf(gone.dwProcessId, "3")));
    kept.insert(kept.end(), {".", "..", TemporaryOf(gone.dwProcessId, "3")});
    std::sort(kept.begin(), kept.end());

    RemoveAbandonedTemporaries(dir_.path());
    TerminateProcess(live.hProcess, 1);
    WaitForSingleObject(live.hProcess, 30000);
    CloseHandle(live.hProcess);
    CloseHandle(ended.hProcess);
    EXPECT_EQ(Search(dir_ / "*"), kept);
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

// A refusal decided here carries the code Windows gives; a copy names its source only when the
// source is missing; the system's text comes without its line break.
TEST_F(FileSystem, LastFailureNamesTheRefusedPathWithItsErrorCode) {
    const std::string file = dir_.Write("f", "x");
    EXPECT_FALSE(CopyFileTo(file, "NUL"));
    EXPECT_EQ(LastFailure().path, "NUL");
    EXPECT_EQ(LastFailure().code, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(CopyFileTo(dir_ / "none", dir_ / "g"));
    EXPECT_EQ(LastFailure().path, dir_ / "none");
    EXPECT_EQ(ErrorText(ERROR_ACCESS_DENIED).find_first_of("\r\n"), std::string::npos);
    ClearLastFailure();
    EXPECT_EQ(LastFailure().code, 0);
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

// Past MAX_PATH the calls reach the entries they name (the end-to-end cases walk such trees), and
// a search reads its mask as written.
TEST_F(FileSystem, LongPathsAreTakenLikeShortOnes) {
    ASSERT_TRUE(MakeDirectory(dir_ / "short"));
    std::string deep = dir_.path();
    while (deep.size() <= MAX_PATH) {
        deep += "\\" + std::string(60, 'x');
        ASSERT_TRUE(MakeDirectory(deep));
    }
    const std::string source = dir_.Write("source", "S");
    for (const char* name : {"\\a.txt", "\\noext"})
        ASSERT_TRUE(CopyFileTo(source, deep + name) && CopyFileTo(source, dir_ / "short" + name));
    for (const char* mask : {"\\*.", "\\*.txt", "\\noext.", "\\*"})
        EXPECT_EQ(Search(deep + mask), Search(dir_ / "short" + mask)) << mask;
    const std::string file = deep + "\\a.txt";
    LocalDate date;
    EXPECT_TRUE(ReadLastWriteDate(file, date) && UnsharedFile().Open(file));
    EXPECT_TRUE(IsSameEntry(file, "\\\\?\\" + file));
    EXPECT_EQ(PlaceOf(file), Place::kElsewhere);
    ASSERT_TRUE(win32::MoveFileByCopy(file, deep + "\\noext"));
    EXPECT_EQ(Search(deep + "\\*"), (Names{".", "..", "noext"}));
}

}  // namespace
}  // namespace updater::platform

namespace updater::platform {
namespace {

using win32::TempDirectory;
using win32::Widen;

// The working directory for one test, given back when it ends.
class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::string& path) {
        GetCurrentDirectoryW(MAX_PATH, saved_);
        SetCurrentDirectoryW(Widen(path).c_str());
    }
    ~WorkingDirectory() { SetCurrentDirectoryW(saved_); }

  private:
    wchar_t saved_[MAX_PATH] = {};
};

void ExpectPlaces(Place expected, std::initializer_list<std::string> texts) {
    for (const std::string& text : texts)
        EXPECT_EQ(PlaceOf(text), expected) << text;
}

class FileIdentity : public ::testing::Test {
  protected:
    TempDirectory dir_;
};

TEST_F(FileIdentity, SameEntrySeesThroughCaseDotsAndHardLinks) {
    const std::string file = dir_.Write("f", "x");
    ASSERT_TRUE(MakeDirectory(dir_ / "d"));
    ASSERT_TRUE(MakeDirectory(dir_ / "d\\sub"));
    ASSERT_TRUE(MakeDirectory(dir_ / "dx"));
    EXPECT_TRUE(IsSameEntry(dir_ / "d", dir_ / "D"));
    EXPECT_TRUE(IsSameEntry(dir_ / "d", dir_ / ".\\d\\sub\\..\\"));
    EXPECT_TRUE(IsSameEntry(file, dir_ / "F"));
    if (CreateHardLinkW(Widen(dir_ / "hard").c_str(), Widen(file).c_str(), nullptr)) {
        EXPECT_TRUE(IsSameEntry(file, dir_ / "hard"));
    }
    EXPECT_FALSE(IsSameEntry(dir_ / "d", dir_ / "d\\sub"));
    EXPECT_FALSE(IsSameEntry(dir_ / "d", dir_ / "dx"));
    EXPECT_FALSE(IsSameEntry(dir_ / "d", dir_ / "missing"));
    EXPECT_FALSE(IsSameEntry(dir_ / "missing", dir_ / "missing"));
}

TEST_F(FileIdentity, WithinGoesItemByItemOnTheResolvedPaths) {
    ASSERT_TRUE(MakeDirectory(dir_ / "d"));
    ASSERT_TRUE(MakeDirectory(dir_ / "d\\sub"));
    ASSERT_TRUE(MakeDirectory(dir_ / "d\\sub\\deep"));
    ASSERT_TRUE(MakeDirectory(dir_ / "dx"));
    EXPECT_TRUE(LiesWithin(dir_ / "d", dir_ / "d"));
    EXPECT_TRUE(LiesWithin(dir_ / "D\\SUB\\DEEP", dir_ / "d"));
    EXPECT_TRUE(LiesWithin(dir_ / "d\\sub\\..", dir_ / "d\\"));
    EXPECT_FALSE(LiesWithin(dir_ / "d", dir_ / "d\\sub"));
    EXPECT_FALSE(LiesWithin(dir_ / "dx", dir_ / "d"));  // a longer name is not inside
    EXPECT_FALSE(LiesWithin(dir_ / "missing", dir_ / "d"));
    const std::string root = dir_.path().substr(0, 3);  // "C:\"
    EXPECT_TRUE(LiesWithin(dir_.path(), root));
    EXPECT_FALSE(LiesWithin(root, dir_.path()));
}

// Only judged, never written: the texts may name any root.
TEST_F(FileIdentity, PlaceFoldsDotsAsTheSystemDoesAndKnowsEveryRoot) {
    const std::string d = dir_.path().substr(0, 2);  // the drive, "C:"
    const std::string volume = "\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\";
    {
        const WorkingDirectory here(dir_.path());
        ExpectPlaces(Place::kRoot, {"\\", "\\.", "\\..", "\\..\\..", d + "\\.", d + "\\..",
                                    d + "\\x\\..", d + "\\x\\..\\", d + "\\.\\.\\"});
        ExpectPlaces(Place::kRoot, {"\\\\.\\" + d + "\\", "\\\\?\\" + d + "\\", "\\\\.\\" + d,
                                    "\\\\?\\" + d, "\\??\\" + d + "\\", volume});
        ExpectPlaces(Place::kRoot, {"\\\\server\\share", "\\\\server\\share\\", "\\\\server",
                                    "\\\\server\\share\\..", "\\\\?\\UNC\\server\\share\\",
                                    "\\\\.\\UNC\\server\\share"});
        // Windows hands "\\?\" texts on unfolded, and a file system may still fold them: any
        // reading that reaches a root counts. (Wine folds them itself.)
        ExpectPlaces(Place::kRoot, {"\\\\?\\" + d + "\\.", "\\\\?\\" + d + "\\x\\..",
                                    "\\\\?\\" + d + "\\..", "\\\\?\\" + d + "\\x/.."});
        ExpectPlaces(Place::kInRoot, {"\\.\\*", "\\..\\*", "\\x.ini", d + "\\.\\*", d + "\\x.ini",
                                      d + "\\x\\..\\y\\", "\\\\.\\" + d + "\\*",
                                      "\\\\?\\" + d + "\\.\\*", volume + "x"});
        ExpectPlaces(Place::kInRoot, {"\\\\server\\share\\*", "\\\\?\\UNC\\server\\share\\x.ini"});
        ExpectPlaces(Place::kElsewhere, {".", "x", ".\\x\\", d + "x", dir_.path(),
                                         "\\\\?\\" + dir_.path(), dir_ / "missing\\deeper\\*"});
        EXPECT_EQ(PlaceOf(""), Place::kNowhere);
    }
    const WorkingDirectory atRoot(d + "\\");
    ExpectPlaces(Place::kRoot, {".", d, "x\\.."});
    ExpectPlaces(Place::kInRoot, {"x", d + "x", "*", ".\\x.ini"});
}

// Makes `link` a junction to `target`, which needs no privilege on Windows. False where the file
// system or the system cannot (Wine does not keep reparse points).
bool MakeJunction(const std::string& link, const std::string& target) {
    if (!CreateDirectoryW(Widen(link).c_str(), nullptr))
        return false;
    HANDLE handle = CreateFileW(Widen(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    // The mount-point reparse buffer: tag, data length, reserved, then the offsets and lengths
    // of the substitute and print names, then both names, each ending in a NUL.
    const std::wstring substitute = L"\\??\\" + Widen(target);
    const std::wstring print = Widen(target);
    const WORD substituteBytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
    const WORD printBytes = static_cast<WORD>(print.size() * sizeof(wchar_t));
    const WORD dataBytes = static_cast<WORD>(8 + substituteBytes + 2 + printBytes + 2);
    std::vector<BYTE> buffer(8 + dataBytes, 0);
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    const WORD header[6] = {
        dataBytes, 0, 0, substituteBytes, static_cast<WORD>(substituteBytes + 2), printBytes};
    std::memcpy(buffer.data(), &tag, sizeof tag);
    std::memcpy(buffer.data() + 4, header, sizeof header);
    std::memcpy(buffer.data() + 16, substitute.c_str(), substituteBytes);
    std::memcpy(buffer.data() + 16 + substituteBytes + 2, print.c_str(), printBytes);
    DWORD returned = 0;
    const BOOL made =
        DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(),
                        static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(handle);
    if (!made)
        RemoveDirectoryW(Widen(link).c_str());
    return made != FALSE;
}

// A junction is reported as a link, and deleting a tree that holds one removes the junction
// only, never what lies behind it.
TEST_F(FileIdentity, JunctionsAreLinksAndNeverWalkedInto) {
    ASSERT_TRUE(MakeDirectory(dir_ / "target"));
    dir_.Write("target\\keep", "k");
    ASSERT_TRUE(MakeDirectory(dir_ / "tree"));
    if (!MakeJunction(dir_ / "tree\\link", dir_ / "target"))
        GTEST_SKIP() << "no junctions here";
    EXPECT_EQ(
        GetEntryAttributes(dir_ / "tree\\link") & (kAttributeDirectory | kAttributeReparsePoint),
        kAttributeDirectory | kAttributeReparsePoint);
    DirectorySearch search;
    FoundEntry entry;
    ASSERT_TRUE(search.Start(dir_ / "tree\\l*", entry));
    EXPECT_EQ(entry.attributes & (kAttributeDirectory | kAttributeReparsePoint),
              kAttributeDirectory | kAttributeReparsePoint);
    search.Close();
    EXPECT_TRUE(IsSameEntry(dir_ / "tree\\link", dir_ / "target"));
    EXPECT_TRUE(LiesWithin(dir_ / "tree\\link", dir_ / "target"));
    EXPECT_TRUE(DeletePath(String((dir_ / "tree").c_str())));
    EXPECT_EQ(GetEntryAttributes(dir_ / "tree"), kInvalidAttributes);
    EXPECT_EQ(TempDirectory::Read(dir_ / "target\\keep"), "k");
}

// A link out of the temporary tree may be made only where a cleanup that walked into it could not
// reach this machine's own files: not under Wine (which shows the Linux root as "\\?\unix\/")
// while a drive is that root.
bool LinksOutOfTheTreeAreSafe() {
    const auto index = [](const wchar_t* path) {
        BY_HANDLE_FILE_INFORMATION information{};
        HANDLE handle = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return ULONGLONG{0};
        const bool known = GetFileInformationByHandle(handle, &information) != FALSE;
        CloseHandle(handle);
        return known ? (ULONGLONG{information.nFileIndexHigh} << 32) | information.nFileIndexLow
                     : 0;
    };
    const ULONGLONG linuxRoot = index(L"\\\\?\\unix\\/");
    for (wchar_t letter = L'A'; letter <= L'Z' && linuxRoot != 0; ++letter) {
        const wchar_t root[] = {letter, L':', L'\\', L'\0'};
        if (index(root) == linuxRoot)
            return false;
    }
    return true;
}

// A junction among the directories leads where it points; named last, it is itself.
TEST_F(FileIdentity, PlaceFollowsLinksInTheDirectoriesOnly) {
    if (!LinksOutOfTheTreeAreSafe())
        GTEST_SKIP() << "a drive here is the Linux root";
    const std::string link = dir_ / "junction";
    if (!MakeJunction(link, dir_.path().substr(0, 3)))
        GTEST_SKIP() << "no junctions here";
    const uint32_t attributes = GetEntryAttributes(link);
    const bool seen =
        attributes != kInvalidAttributes && (attributes & kAttributeReparsePoint) != 0;
    Place inside = Place::kNowhere;
    Place itself = Place::kNowhere;
    Place itselfWithBackslash = Place::kNowhere;
    if (seen) {
        inside = PlaceOf(link + "\\*");
        itself = PlaceOf(link);
        itselfWithBackslash = PlaceOf(link + "\\");
    }
    // The junction leads to a whole drive: a cleanup that did not take it for a link would empty
    // that drive, so it goes now or the run stops.
    if (!RemoveDirectoryW(Widen(link).c_str()))
        std::abort();
    if (!seen)
        GTEST_SKIP() << "the junction is not reported as a link";
    EXPECT_EQ(inside, Place::kInRoot);
    EXPECT_EQ(itself, Place::kElsewhere);
    EXPECT_EQ(itselfWithBackslash, Place::kElsewhere);
}

}  // namespace
}  // namespace updater::platform

namespace updater::platform {
namespace {

// Files read for their checksums: nobody else may open one while it is read, a file that anyone
// holds open (even sharing it) is not opened at all, and only disk files are.
TEST(UnsharedFile, SharesWithNobodyAndReadsOnlyDiskFiles) {
    win32::TempDirectory dir;
    const std::string file = dir.Write("data.bin", "x");
    const auto openShared = [&file] {
        return CreateFileW(win32::Widen(file).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    {
        UnsharedFile reader;
        ASSERT_TRUE(reader.Open(file));
        EXPECT_EQ(openShared(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    HANDLE holder = openShared();
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    UnsharedFile reader;
    EXPECT_FALSE(reader.Open(file));
    CloseHandle(holder);
    EXPECT_TRUE(reader.Open(file));
    EXPECT_FALSE(reader.Open(dir.path()));
    EXPECT_FALSE(reader.Open("NUL"));
}

}  // namespace
}  // namespace updater::platform
