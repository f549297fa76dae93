#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/internal-posix.h"
#include "platform/shortcut.h"
#include "support/temp_directory.h"

namespace updater::platform {
namespace {

namespace fs = std::filesystem;

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        hex += kDigits[static_cast<unsigned char>(c) >> 4];
        hex += kDigits[static_cast<unsigned char>(c) & 0xF];
    }
    return hex;
}

// The worked example of a link with target, working directory, arguments and show command 7,
// byte for byte.
TEST(ShellLink, WritesTheMinimalLayoutByteForByte) {
    std::string bytes;
    ASSERT_TRUE(posix::BuildShellLink(
        {"C:\\windows\\notepad.exe", "C:\\windows", "--foo \"bar baz\"", kShowMinNoActive}, bytes));
    EXPECT_EQ(Hex(bytes),
              "4c0000000114020000000000c000000000000046b20000000000000000000000"
              "0000000000000000000000000000000000000000000000000000000007000000"
              "000000000000000000000000450000001c000000010000001c0000002d000000"
              "00000000440000001100000003000000000000001000000000433a5c77696e64"
              "6f77735c6e6f74657061642e65786500000a0043003a005c00770069006e0064"
              "006f00770073000f002d002d0066006f006f0020002200620061007200200062"
              "0061007a00220000000000");
}

// Readers take the target into a buffer of MAX_PATH characters: a longer one is refused rather
// than written to be cut. A character outside the basic plane counts twice.
TEST(ShellLink, RefusesTargetsReadersWouldCut) {
    std::string bytes;
    EXPECT_TRUE(posix::BuildShellLink({std::string(259, 'a'), "", "", kShowUnset}, bytes));
    EXPECT_FALSE(posix::BuildShellLink({std::string(260, 'a'), "", "", kShowUnset}, bytes));
    EXPECT_FALSE(posix::BuildShellLink(
        {std::string(258, 'a') + "\xF0\x9F\x98\x80", "", "", kShowUnset}, bytes));
}

// A file of that name is replaced as Windows replaces it; read-only files, directories and
// links are not written over, and no temporary file stays behind either way.
TEST(ShortcutFile, ReplacesOnlyWritableFilesAndLeavesNothingElse) {
    const testing::TempDirectory scratch;
    ASSERT_TRUE(scratch.ok());
    const std::string& directory = scratch.path();
    const auto put = [&directory](const std::string& name, const char* content, mode_t mode) {
        std::ofstream(directory + "/" + name) << content;
        chmod((directory + "/" + name).c_str(), mode);
    };
    const auto content = [&directory](const std::string& name) {
        std::ifstream file(directory + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    const auto write = [&directory](const std::string& name) {
        return WriteShortcut(posix::FromNativePath(directory + "/" + name),
                             {"\\opt\\tool", "\\opt", "", kShowUnset});
    };
    std::string expected;
    ASSERT_TRUE(posix::BuildShellLink({"\\opt\\tool", "\\opt", "", kShowUnset}, expected));
    put("old.LNK", "old", 0644);
    put("locked.LNK", "locked", 0444);
    put("aim", "aim", 0644);
    fs::create_directory(directory + "/dir.LNK");
    fs::create_symlink("aim", directory + "/link.LNK");

    EXPECT_TRUE(write("new.LNK"));
    EXPECT_TRUE(write("old.LNK"));
    EXPECT_EQ(content("new.LNK"), expected);
    EXPECT_EQ(content("old.LNK"), expected);
    for (const char* refused : {"locked.LNK", "dir.LNK", "link.LNK", "a*.LNK", "missing/x.LNK"})
        EXPECT_FALSE(write(refused)) << refused;
    EXPECT_FALSE(WriteShortcut("C:\\x.LNK", {"\\opt\\tool", "", "", kShowUnset}));
    EXPECT_EQ(content("locked.LNK"), "locked");
    EXPECT_EQ(content("aim"), "aim");
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), {}), 6);
}

}  // namespace
}  // namespace updater::platform
