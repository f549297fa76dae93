#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/native_path-posix.h"
#include "platform/posix/shell_link-posix.h"
#include "platform/shortcut.h"

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

uint32_t U32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    return value;
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

// A target alone keeps the flags of link information and Unicode only, and a show command that
// the script did not set is stored as normal, as the shell's link object stores it.
TEST(ShellLink, TargetAloneAndUnsetShowCommand) {
    std::string bytes;
    ASSERT_TRUE(posix::BuildShellLink({"C:\\windows\\notepad.exe", "", "", kShowUnset}, bytes));
    EXPECT_EQ(bytes.size(), 149u);
    EXPECT_EQ(U32(bytes, 0x14), 0x82u);
    EXPECT_EQ(U32(bytes, 0x3C), 1u);
    EXPECT_EQ(U32(bytes, 145), 0u);  // the terminal block, nothing after it
}

// A target beyond ASCII gets the Unicode copies; the code-page copy holds a question mark for
// each such character, a character outside the basic plane included.
TEST(ShellLink, UnicodeTargetsKeepTheirUnicodeCopy) {
    std::string bytes;
    ASSERT_TRUE(posix::BuildShellLink({"C:\\Users\\J\xC3\xB6rg\\Pr\xC3\xBC"
                                       "fung \xE2\x9C\x93\\app.exe",
                                       "", "", kShowMaximized},
                                      bytes));
    const size_t info = 0x4C;
    EXPECT_EQ(U32(bytes, info), 0x98u);       // size
    EXPECT_EQ(U32(bytes, info + 4), 0x24u);   // header with the Unicode offsets
    EXPECT_EQ(U32(bytes, info + 16), 0x35u);  // local base path
    EXPECT_EQ(U32(bytes, info + 24), 0x55u);  // common path suffix
    EXPECT_EQ(U32(bytes, info + 28), 0x56u);  // local base path, Unicode
    EXPECT_EQ(U32(bytes, info + 32), 0x96u);  // common path suffix, Unicode
    EXPECT_EQ(bytes.substr(info + 0x35, 32),
              std::string("C:\\Users\\J?rg\\Pr?fung ?\\app.exe", 32));
    EXPECT_EQ(Hex(bytes.substr(info + 0x56 + 2 * 10, 6)), "f60072006700");
    EXPECT_EQ(bytes.size(), 0x4C + 0x98 + 4u);

    ASSERT_TRUE(posix::BuildShellLink({"\\x\xF0\x9F\x98\x80y", "", "", kShowUnset}, bytes));
    EXPECT_EQ(bytes.substr(info + 0x35, 5), std::string("\\x?y\0", 5));
    EXPECT_EQ(Hex(bytes.substr(info + 0x35 + 5 + 1 + 4, 8)), "3dd800de79000000");
}

// Readers take the target into a buffer of MAX_PATH characters: a longer one is refused rather
// than written to be cut.
TEST(ShellLink, RefusesTargetsReadersWouldCut) {
    std::string bytes;
    EXPECT_TRUE(posix::BuildShellLink({std::string(259, 'a'), "", "", kShowUnset}, bytes));
    EXPECT_FALSE(posix::BuildShellLink({std::string(260, 'a'), "", "", kShowUnset}, bytes));
    EXPECT_FALSE(posix::BuildShellLink(
        {std::string(258, 'a') + "\xF0\x9F\x98\x80", "", "", kShowUnset}, bytes));
    EXPECT_TRUE(posix::BuildShellLink({"a", "", std::string(65535, 'x'), kShowUnset}, bytes));
    EXPECT_FALSE(posix::BuildShellLink({"a", "", std::string(65536, 'x'), kShowUnset}, bytes));
}

class ShortcutFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = fs::temp_directory_path().string() + "/updater-lnk-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(directory_ + "/locked.LNK", fs::perms::owner_all, fs::perm_options::add,
                        ignored);
        fs::remove_all(directory_, ignored);
    }
    std::string Engine(const std::string& name) const {
        return posix::FromNativePath(directory_ + "/" + name);
    }
    std::string Content(const std::string& name) const {
        std::ifstream file(directory_ + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    void Put(const std::string& name, const std::string& content) const {
        std::ofstream(directory_ + "/" + name, std::ios::binary) << content;
    }
    size_t Entries() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(directory_), {}));
    }

    std::string directory_;
    const Shortcut shortcut_{"\\opt\\tool", "\\opt", "", kShowUnset};
};

// A file of that name is replaced as Windows replaces it; read-only files, directories and
// links are not written over, and no temporary file stays behind either way.
TEST_F(ShortcutFile, ReplacesOnlyWritableFilesAndLeavesNothingElse) {
    std::string expected;
    ASSERT_TRUE(posix::BuildShellLink(shortcut_, expected));
    Put("old.LNK", "old");
    Put("locked.LNK", "locked");
    chmod((directory_ + "/locked.LNK").c_str(), 0444);
    fs::create_directory(directory_ + "/dir.LNK");
    Put("aim", "aim");
    fs::create_symlink("aim", directory_ + "/link.LNK");

    EXPECT_TRUE(WriteShortcut(Engine("new.LNK"), shortcut_));
    EXPECT_TRUE(WriteShortcut(Engine("old.LNK"), shortcut_));
    EXPECT_EQ(Content("new.LNK"), expected);
    EXPECT_EQ(Content("old.LNK"), expected);
    EXPECT_FALSE(WriteShortcut(Engine("locked.LNK"), shortcut_));
    EXPECT_FALSE(WriteShortcut(Engine("dir.LNK"), shortcut_));
    EXPECT_FALSE(WriteShortcut(Engine("link.LNK"), shortcut_));
    EXPECT_FALSE(WriteShortcut(Engine("a*.LNK"), shortcut_));
    EXPECT_FALSE(WriteShortcut(Engine("missing/x.LNK"), shortcut_));
    EXPECT_FALSE(WriteShortcut("C:\\x.LNK", shortcut_));
    EXPECT_FALSE(WriteShortcut(Engine("long.LNK"), {std::string(300, 'a'), "", "", 0}));
    EXPECT_EQ(Content("locked.LNK"), "locked");
    EXPECT_EQ(Content("aim"), "aim");
    EXPECT_EQ(Entries(), 6u);
}

}  // namespace
}  // namespace updater::platform
