#include "platform/win32/internal-win32.h"

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

}  // namespace
}  // namespace updater::platform::win32
