#include "platform/win32/internal-win32.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace updater::platform::win32 {
namespace {

TEST(Text, RoundTripsEveryPlane) {
    const std::string text = "a\\b ファイル \xF0\x9F\x98\x80";  // ASCII, Japanese, an emoji
    const std::wstring wide = Widen(text);
    EXPECT_EQ(wide, L"a\\b \u30D5\u30A1\u30A4\u30EB \U0001F600");
    EXPECT_EQ(Narrow(wide), text);
    EXPECT_EQ(Widen(""), L"");
    EXPECT_EQ(Narrow(L""), "");
}

TEST(Text, BrokenInputBecomesReplacementCharacters) {
    EXPECT_EQ(Widen("a\xFF"
                    "b"),
              L"a\uFFFDb");
    EXPECT_EQ(Narrow(std::wstring(L"x") + wchar_t(0xD800) + L"y"), "x\xEF\xBF\xBDy");
}

TEST(Text, KeepsEmbeddedNuls) {
    const std::string text("a\0b", 3);
    EXPECT_EQ(Widen(text), std::wstring(L"a\0b", 3));
    EXPECT_EQ(Narrow(Widen(text)), text);
}

// Long paths reach the system as their folded full form behind "\\?\"; everything else, and
// above all every ordinary path, goes as it was written.
TEST(LongPaths, TakeThePrefixedFullFormAndNothingElseChanges) {
    const std::wstring items = L"\\" + std::wstring(120, L'a') + L"\\" + std::wstring(120, L'b');
    EXPECT_EQ(LongPathForm(L"C:\\dir\\..\\file.txt"), L"C:\\dir\\..\\file.txt");
    EXPECT_EQ(LongPathForm(L"rel\\file"), L"rel\\file");
    EXPECT_EQ(LongPathForm(L""), L"");
    EXPECT_EQ(LongPathForm(L"C:\\top" + items), L"\\\\?\\C:\\top" + items);
    EXPECT_EQ(LongPathForm(L"\\\\srv\\share" + items), L"\\\\?\\UNC\\srv\\share" + items);
    EXPECT_EQ(LongPathForm("C:/top/" + std::string(250, 'c')),
              L"\\\\?\\C:\\top\\" + std::wstring(250, L'c'));
    // Folded first, as the system would have folded the text: the prefix stops its folding.
    EXPECT_EQ(LongPathForm(L"C:\\top" + items + L"\\sub\\..\\.\\x"),
              L"\\\\?\\C:\\top" + items + L"\\x");
    // Already in a form the system takes as it is: never folded, never prefixed twice.
    for (const std::wstring& written :
         {L"\\\\?\\C:\\top" + items + L"\\..\\x", L"\\??\\C:\\top" + items + L"\\.\\x",
          L"\\\\?\\UNC\\srv\\share" + items})
        EXPECT_EQ(LongPathForm(written), written);
    // A relative path counts from the working directory, where it may grow long.
    wchar_t current[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    std::wstring base(current, length);
    if (base.back() != L'\\')
        base += L'\\';
    EXPECT_EQ(LongPathForm(L"x\\..\\" + items.substr(1)), L"\\\\?\\" + base + items.substr(1));
}

}  // namespace
}  // namespace updater::platform::win32
