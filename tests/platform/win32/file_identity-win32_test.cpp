#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "fileops/delete.h"
#include "platform/file_system.h"
#include "temp_directory-win32.h"

// Entries told apart by the file system rather than by their text, and links as the file
// procedures meet them.
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
