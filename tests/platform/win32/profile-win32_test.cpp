#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/profile.h"
#include "temp_directory-win32.h"

// What the Win32 backend adds to the system's reader: text conversion and the cut at the capacity.
// The reader's own rules are checked by the shared cases (ini_cases_check).
namespace updater::platform {
namespace {

using Lines = std::vector<std::string>;

// UTF-16 little-endian with a byte-order mark, from ASCII and UTF-16 code units.
std::string Utf16File(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

class Profile : public ::testing::Test {
  protected:
    win32::TempDirectory dir_;
};

TEST_F(Profile, Utf16FilesReadAsUtf8) {
    const std::string file = dir_.Write(
        "u.ini", Utf16File(L"[\u8A2D\u5B9A]\r\nNAME=\u30C6\u30B9\u30C8\r\nPATH=C:\\\u30D5\r\n"));
    EXPECT_EQ(ReadProfileString(file, "設定", "NAME", "NO_DATA", 259), "テスト");
    EXPECT_EQ(ReadProfileSection(file, "設定", 0x7FFF), (Lines{"NAME=テスト", "PATH=C:\\フ"}));
}

TEST_F(Profile, CutNeverSplitsACharacter) {
    const std::string file = dir_.Write("u.ini", Utf16File(L"[S]\r\nK=ab\U0001F600c\r\n"));
    EXPECT_EQ(ReadProfileString(file, "S", "K", "", 260),
              "ab\xF0\x9F\x98\x80"
              "c");
    EXPECT_EQ(ReadProfileString(file, "S", "K", "", 4), "ab");  // the pair would be cut
    EXPECT_EQ(ReadProfileString(file, "S", "K", "", 5), "ab\xF0\x9F\x98\x80");
}

TEST_F(Profile, UnicodeFileNames) {
    const std::string file = dir_.Write("設定.ini", "[UPDATER]\r\nPROC=A,B\r\n");
    EXPECT_EQ(ReadProfileString(file, "UPDATER", "PROC", "NO_DATA", 259), "A,B");
    EXPECT_EQ(ReadProfileString(dir_ / "missing.ini", "UPDATER", "PROC", "NO_DATA", 259),
              "NO_DATA");
}

}  // namespace
}  // namespace updater::platform
