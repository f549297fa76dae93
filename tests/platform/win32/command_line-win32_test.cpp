#include "platform/win32/internal-win32.h"

#include <gtest/gtest.h>

namespace updater::platform::win32 {
namespace {

TEST(CommandTail, SkipsAQuotedProgramNameAndTheBlanksAfterIt) {
    EXPECT_EQ(CommandTail(L"\"C:\\Program Files\\setup.exe\" /tSetup x"), L"/tSetup x");
    EXPECT_EQ(CommandTail(L"\"C:\\a b\\setup.exe\"/tSetup"), L"/tSetup");
    EXPECT_EQ(CommandTail(L"\"C:\\a b\\setup.exe\" \t  a  b "), L"a  b ");
    EXPECT_EQ(CommandTail(L"\"unterminated name"), L"");
}

TEST(CommandTail, SkipsAnUnquotedProgramNameToTheFirstBlank) {
    EXPECT_EQ(CommandTail(L"setup.exe /t\"Setup Tool\""), L"/t\"Setup Tool\"");
    EXPECT_EQ(CommandTail(L"C:\\x\\setup.exe\targ"), L"arg");
    EXPECT_EQ(CommandTail(L"setup\"quoted part\".exe rest"), L"part\".exe rest");
}

TEST(CommandTail, NothingAfterTheNameIsEmpty) {
    EXPECT_EQ(CommandTail(L"setup.exe"), L"");
    EXPECT_EQ(CommandTail(L"setup.exe   "), L"");
    EXPECT_EQ(CommandTail(L""), L"");
    EXPECT_EQ(CommandTail(nullptr), L"");
}

}  // namespace
}  // namespace updater::platform::win32
