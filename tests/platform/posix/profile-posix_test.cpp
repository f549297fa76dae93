#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/internal-posix.h"
#include "platform/profile.h"
#include "support/ini_cases.h"
#include "support/temp_directory.h"

namespace updater::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Lines = std::vector<std::string>;

constexpr const char* kNoData = "NO_DATA";
constexpr unsigned kKeyCapacity = 259;
constexpr unsigned kSectionCapacity = 0x7fff;

// A private directory of settings files, named to the reader in the engine's backslash form.
class ProfileFiles : public ::testing::Test {
  protected:
    fs::path Native(const std::string& name) const { return dir_.Native(name); }
    std::string Engine(const std::string& name) const {
        return posix::FromNativePath(Native(name).string());
    }
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Native(name), std::ios::binary | std::ios::trunc) << bytes;
        return Engine(name);
    }

    static std::string Value(const std::string& file, const std::string& section,
                             const std::string& key, unsigned capacity = kKeyCapacity) {
        return ReadProfileString(file, section, key, kNoData, capacity);
    }
    static Lines Section(const std::string& file, const std::string& section,
                         unsigned capacity = kSectionCapacity) {
        return ReadProfileSection(file, section, capacity);
    }

  private:
    testing::TempDirectory dir_;
};

// ---------------------------------------------------------------------------------------------
// The shared cases of tests/platform/ini_cases, which the Windows reader answers the same way.

fs::path SharedCaseDirectory() {
    return fs::path(__FILE__).parent_path().parent_path() / "ini_cases";
}

Lines Answer(const testing::IniCase& c) {
    const std::string file = posix::FromNativePath((SharedCaseDirectory() / c.file).string());
    if (c.kind == "section")
        return ReadProfileSection(file, c.section, c.capacity);
    return {ReadProfileString(file, c.section, c.key, c.fallback, c.capacity)};
}

TEST(ProfileSharedCases, EveryExpectationHolds) {
    ASSERT_TRUE(fs::is_directory(SharedCaseDirectory())) << SharedCaseDirectory();
    const std::vector<testing::IniCase> cases =
        testing::LoadIniCases((SharedCaseDirectory() / "expectations.txt").string());
    EXPECT_GE(cases.size(), 80u);
    for (const testing::IniCase& c : cases) {
        if (c.kind.empty()) {
            ADD_FAILURE() << "expectations.txt:" << c.lineNumber << ": cannot read \""
                          << c.expected[0] << "\"";
            continue;
        }
        EXPECT_EQ(Answer(c), c.expected) << "expectations.txt:" << c.lineNumber;
    }
}

// ---------------------------------------------------------------------------------------------
// Where the Windows reader and Wine differ, this backend follows Windows.

using ProfileWindowsRules = ProfileFiles;

TEST_F(ProfileWindowsRules, Utf8BomIsSkippedSoTheFirstHeaderCounts) {
    const std::string file = Write("bom.ini", "\xEF\xBB\xBF[first]\nk=v\n");
    EXPECT_EQ(Value(file, "first", "k"), "v");
}

TEST_F(ProfileWindowsRules, BomBytesLaterInTheFileAreText) {
    const std::string file = Write("bom2.ini", "[a]\nk=1\n\xEF\xBB\xBF[b]\nk=2\n");
    EXPECT_EQ(Value(file, "b", "k"), kNoData);
    EXPECT_EQ(Section(file, "a"), (Lines{"k=1", "\xEF\xBB\xBF[b]", "k=2"}));
}

TEST_F(ProfileWindowsRules, HeaderWithoutClosingBracketIsASection) {
    const std::string file = Write("open.ini", "[open  \nk=v\n[\nempty=name\n");
    EXPECT_EQ(Value(file, "open", "k"), "v");
    EXPECT_EQ(Value(file, "", "empty"), "name");
}

TEST_F(ProfileWindowsRules, NameEndsAtTheFirstClosingBracket) {
    const std::string file = Write("brackets.ini", "[a]b]\nk=v\n[ [x ]\nk=w\n");
    EXPECT_EQ(Value(file, "a", "k"), "v");
    EXPECT_EQ(Value(file, "a]b", "k"), kNoData);
    EXPECT_EQ(Value(file, "[x", "k"), "w");
}

TEST_F(ProfileWindowsRules, TextAboveTheFirstHeaderBelongsToNoSection) {
    const std::string file = Write("above.ini", "k=above\n[]\nk=empty name\n");
    EXPECT_EQ(Value(file, "", "k"), "empty name");
    const std::string noEmpty = Write("above2.ini", "k=above\n[s]\n");
    EXPECT_EQ(Value(noEmpty, "", "k"), kNoData);
    EXPECT_EQ(Section(noEmpty, ""), Lines{});
}

TEST_F(ProfileWindowsRules, CommentKeysCannotBeLookedUp) {
    const std::string file = Write("comment.ini", "[s]\n;key=1\n \t;other=2\n");
    EXPECT_EQ(Value(file, "s", ";key"), kNoData);
    EXPECT_EQ(Value(file, "s", "key"), kNoData);
    EXPECT_EQ(Value(file, "s", ";other"), kNoData);
}

TEST_F(ProfileWindowsRules, OnlySpacesAroundNamesAskedForAreIgnored) {
    const std::string file = Write("args.ini", "[s]\nkey=v\n");
    EXPECT_EQ(Value(file, "  s  ", "  key  "), "v");
    EXPECT_EQ(Value(file, "s", "key\t"), kNoData);
    EXPECT_EQ(Value(file, "\ts", "key"), kNoData);
    EXPECT_EQ(Value(file, "s", "key\r\n"), kNoData);
}

TEST_F(ProfileWindowsRules, EmptyKeyFindsTheLineWithoutAName) {
    const std::string file = Write("nokey.ini", "[s]\n=no name\n[t]\nk=v\n");
    EXPECT_EQ(Value(file, "s", ""), "no name");
    EXPECT_EQ(Value(file, "t", ""), kNoData);
}

// ---------------------------------------------------------------------------------------------
// Lines, trimming and values.

using ProfileParsing = ProfileFiles;

TEST_F(ProfileParsing, MixedLineEndingsAndNoFinalNewline) {
    const std::string file = Write("ends.ini", "[s]\r\na=1\rb=2\nc=3\r\n\r\n\n\rd=4");
    EXPECT_EQ(Section(file, "s"), (Lines{"a=1", "b=2", "c=3", "d=4"}));
}

TEST_F(ProfileParsing, BlanksAroundNamesAndValuesIncludeVerticalTabs) {
    const std::string file = Write("blanks.ini", " \t\v[\t s \v]\n\v key \t=\t value  \v\n");
    EXPECT_EQ(Value(file, "s", "key"), "value");
}

TEST_F(ProfileParsing, FormFeedIsNotABlank) {
    const std::string file = Write("ff.ini", "[s]\nkey=\fv\f\n");
    EXPECT_EQ(Value(file, "s", "key"), "\fv\f");
}

TEST_F(ProfileParsing, CaseFoldingIsAsciiOnly) {
    const std::string file = Write("case.ini",
                                   "[Sektion\xC3\x84]\nSCHL\xC3\x9C"
                                   "SSEL=Wert\n");
    EXPECT_EQ(Value(file, "sektion\xC3\x84",
                    "schl\xC3\x9C"
                    "ssel"),
              "Wert");
    EXPECT_EQ(Value(file, "sektion\xC3\xA4",
                    "schl\xC3\x9C"
                    "ssel"),
              kNoData);
}

TEST_F(ProfileParsing, QuotesAreRemovedBeforeTruncation) {
    const std::string file = Write("q.ini", "[s]\nq=\"quoted\"\n");
    EXPECT_EQ(Value(file, "s", "q", 5), "quot");
    EXPECT_EQ(Value(file, "s", "q", 7), "quoted");
}

TEST_F(ProfileParsing, TruncationCountsCharactersNotBytes) {
    // "é" is two bytes, "€" three, "😀" four.
    const std::string file = Write("utf8.ini", "[s]\nk=\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80x\n");
    EXPECT_EQ(Value(file, "s", "k", 2), "\xC3\xA9");
    EXPECT_EQ(Value(file, "s", "k", 3), "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(Value(file, "s", "k", 4), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(Value(file, "s", "k", 0), "");
    EXPECT_EQ(ReadProfileString(file, "s", "none", "\xC3\xA9\xC3\xA9  ", 2), "\xC3\xA9");
}

TEST_F(ProfileParsing, InvalidUtf8PassesThroughAndCountsByteByByte) {
    // A lone continuation byte, a truncated sequence, an overlong form and a surrogate.
    const std::string value =
        "\x80\xE2\x82"
        "a\xC0\xAF\xED\xA0\x80";
    const std::string file = Write("bad.ini", "[s]\nk=" + value + "\n");
    EXPECT_EQ(Value(file, "s", "k"), value);
    EXPECT_EQ(Value(file, "s", "k", 4), value.substr(0, 3));
}

TEST_F(ProfileParsing, NulBytesAreKeptAsData) {
    const std::string file = Write("nul.ini", "[s]\nk=a\0b\n[t\0u]\nj=1\n"s);
    EXPECT_EQ(Value(file, "s", "k"), "a\0b"s);
    EXPECT_EQ(Value(file, "t\0u"s, "j"), "1");
}

// A file in UTF-16LE with its byte-order mark, as Windows editors save it.
std::string Utf16Le(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

TEST_F(ProfileParsing, Utf16LeFilesAreDecodedToUtf8) {
    const std::string file = Write("utf16.ini", Utf16Le(u"[\u8A2D\u5B9A]\r\n"
                                                        u"\u540D\u524D = \u65E5\u672C\u8A9E\r\n"
                                                        u"Wide=\U00020B9Fx\r\n"
                                                        u"\r\n[s]\r\nk=\"v\"\r\n"));
    const std::string settings = "\xE8\xA8\xAD\xE5\xAE\x9A";
    const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
    EXPECT_EQ(Value(file, settings, "\xE5\x90\x8D\xE5\x89\x8D"), japanese);
    EXPECT_EQ(Value(file, settings, "wide"),
              "\xF0\xA0\xAE\x9F"
              "x");
    // Capacities count characters of the decoded text.
    EXPECT_EQ(Value(file, settings, "wide", 2), "\xF0\xA0\xAE\x9F");
    EXPECT_EQ(Value(file, "s", "k"), "v");
    EXPECT_EQ(Section(file, settings), (Lines{"\xE5\x90\x8D\xE5\x89\x8D=" + japanese,
                                              "Wide=\xF0\xA0\xAE\x9F"
                                              "x"}));
}

TEST_F(ProfileParsing, BrokenUtf16BecomesReplacementCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    std::u16string text = u"[s]\na=";
    text += char16_t{0xD83D};  // high surrogate without its pair
    text += u"x\nb=";
    text += char16_t{0xDE00};  // low surrogate alone
    text += u"\nc=";
    text += char16_t{0xD83D};  // high surrogate at the very end
    const std::string file = Write("broken16.ini", Utf16Le(text) + "z");  // and an odd byte
    EXPECT_EQ(Value(file, "s", "a"), replacement + "x");
    EXPECT_EQ(Value(file, "s", "b"), replacement);
    EXPECT_EQ(Value(file, "s", "c"), replacement + replacement);
    // Big-endian UTF-16 is not decoded, as on Windows.
    const std::string bigEndian = Write("be16.ini", "\xFE\xFF\0[\0s\0]\0\n\0k\0=\0v"s);
    EXPECT_EQ(Value(bigEndian, "s", "k"), kNoData);
}

// ---------------------------------------------------------------------------------------------
// Reading a whole section.

using ProfileSectionRead = ProfileFiles;

TEST_F(ProfileSectionRead, EveryLineOfTheFirstBlockTrimmedAroundTheFirstEquals) {
    const std::string file = Write("sec.ini",
                                   "[s]\n  a  =  \"q\"  \n\n  ; note = x \n#hash\n  bare  \n"
                                   "b=c=d\n[S]\nlater=1\n");
    EXPECT_EQ(Section(file, "s"), (Lines{"a=\"q\"", "; note=x", "#hash", "bare", "b=c=d"}));
}

TEST_F(ProfileSectionRead, CapacityCutsTheOverflowingLineAndDropsTheRest) {
    const std::string file = Write("cap.ini", "[s]\nab\ncd\nef\n");
    EXPECT_EQ(Section(file, "s", 0), Lines{});
    EXPECT_EQ(Section(file, "s", 2), Lines{});
    EXPECT_EQ(Section(file, "s", 3), Lines{"a"});
    EXPECT_EQ(Section(file, "s", 4), Lines{"ab"});
    EXPECT_EQ(Section(file, "s", 5), Lines{"ab"});
    EXPECT_EQ(Section(file, "s", 6), (Lines{"ab", "c"}));
    EXPECT_EQ(Section(file, "s", 10), (Lines{"ab", "cd", "ef"}));
}

TEST_F(ProfileSectionRead, CapacityNeverCutsInsideACharacter) {
    const std::string file = Write("cap8.ini", "[s]\n\xC3\xA9\xC3\xA9\xC3\xA9\n");
    EXPECT_EQ(Section(file, "s", 4), Lines{"\xC3\xA9\xC3\xA9"});
    EXPECT_EQ(Section(file, "s", 5), Lines{"\xC3\xA9\xC3\xA9\xC3\xA9"});
}

// ---------------------------------------------------------------------------------------------
// Bad input never crashes or hangs; an unusable file reads as a missing one.

using ProfileBadInput = ProfileFiles;

TEST_F(ProfileBadInput, EmptyFileAndFileWithoutSections) {
    const std::string empty = Write("empty.ini", "");
    const std::string bare = Write("bare.ini", "k=v\n;c\n");
    for (const std::string& file : {empty, bare}) {
        EXPECT_EQ(Value(file, "", "k"), kNoData);
        EXPECT_EQ(Section(file, ""), Lines{});
    }
}

TEST_F(ProfileBadInput, BinaryData) {
    std::string noise;
    unsigned state = 12345;
    for (int i = 0; i < 200000; ++i) {
        state = state * 1103515245u + 12345u;
        noise += static_cast<char>(state >> 16);
    }
    const std::string file = Write("noise.ini", noise + "\n[after]\nk=v\n");
    EXPECT_EQ(Value(file, "after", "k"), "v");
}

TEST_F(ProfileBadInput, MegabyteLines) {
    const std::string big(1 << 20, 'x');
    const std::string file = Write("big.ini", "[s]\nk=" + big + "\n" + big + "\n[" + big + "]\n");
    EXPECT_EQ(Value(file, "s", "k"), big.substr(0, kKeyCapacity - 1));
    EXPECT_EQ(Value(file, "s", "k", 1 << 21), big);
    EXPECT_EQ(Section(file, "s").size(), 1u);
    EXPECT_EQ(Section(file, big), Lines{});
}

TEST_F(ProfileBadInput, UnusableFilesGiveTheFallback) {
    fs::create_directory(Native("dir.ini"));
    ASSERT_EQ(mkfifo(Native("pipe.ini").c_str(), 0600), 0);
    for (const std::string& file : {Engine("missing.ini"), Engine("dir.ini"), Engine("pipe.ini"),
                                    Engine("nodir\\x.ini"), std::string()}) {
        EXPECT_EQ(ReadProfileString(file, "s", "k", "fallback  ", kKeyCapacity), "fallback")
            << file;
        EXPECT_EQ(Section(file, "s"), Lines{}) << file;
    }
}

// Runs one test in another current directory.
class ScopedCurrentDirectory {
  public:
    explicit ScopedCurrentDirectory(const fs::path& directory) : saved_(fs::current_path()) {
        fs::current_path(directory);
    }
    ~ScopedCurrentDirectory() { fs::current_path(saved_); }
    ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
    ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

  private:
    fs::path saved_;
};

// A drive has no meaning on Linux: "C:\x.ini" names no file, rather than "./C:/x.ini".
TEST_F(ProfileBadInput, PathsWithADriveNameNoFile) {
    fs::create_directory(Native("C:"));
    const std::string inside = Write("C:/x.ini", "[s]\nk=v\n");
    EXPECT_EQ(Value(inside, "s", "k"), "v");
    const ScopedCurrentDirectory here(Native(""));
    for (const std::string file : {"C:\\x.ini", "C:x.ini", "c:\\x.ini"}) {
        EXPECT_EQ(Value(file, "s", "k"), kNoData) << file;
        EXPECT_EQ(Section(file, "s"), Lines{}) << file;
    }
}

TEST_F(ProfileBadInput, UnreadableFile) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    const std::string file = Write("locked.ini", "[s]\nk=v\n");
    EXPECT_EQ(Value(file, "s", "k"), "v");
    fs::permissions(Native("locked.ini"), fs::perms::none);
    EXPECT_EQ(Value(file, "s", "k"), kNoData);
}

// ---------------------------------------------------------------------------------------------
// The parse is cached, and a changed file is read again.

using ProfileCache = ProfileFiles;

TEST_F(ProfileCache, RewriteWithTheSameSizeAndTimeIsSeen) {
    const std::string file = Write("c.ini", "[s]\nk=1\n");
    const auto stamp = fs::last_write_time(Native("c.ini"));
    EXPECT_EQ(Value(file, "s", "k"), "1");
    Write("c.ini", "[s]\nk=2\n");
    fs::last_write_time(Native("c.ini"), stamp);
    EXPECT_EQ(Value(file, "s", "k"), "2");
}

TEST_F(ProfileCache, ReplacementByRenameIsSeen) {
    const std::string file = Write("r.ini", "[s]\nk=1\n");
    EXPECT_EQ(Value(file, "s", "k"), "1");
    Write("new.ini", "[s]\nk=2\n");
    fs::last_write_time(Native("new.ini"), fs::last_write_time(Native("r.ini")));
    fs::rename(Native("new.ini"), Native("r.ini"));
    EXPECT_EQ(Value(file, "s", "k"), "2");
}

TEST_F(ProfileCache, RemovedFileIsMissing) {
    const std::string file = Write("gone.ini", "[s]\nk=1\n");
    EXPECT_EQ(Value(file, "s", "k"), "1");
    fs::remove(Native("gone.ini"));
    EXPECT_EQ(Value(file, "s", "k"), kNoData);
}

TEST_F(ProfileCache, ThousandsOfSectionsAnswerWithoutRescanning) {
    constexpr int kSections = 5000;
    std::ostringstream text;
    for (int i = 0; i < kSections; ++i) {
        text << "[Proc" << i << "]\nMODE=COPY\nSRC=a" << i << "\nDST=b\n;note\n\n";
    }
    const std::string file = Write("many.ini", text.str());
    for (int i = 0; i < kSections; ++i) {
        ASSERT_EQ(Value(file, "proc" + std::to_string(i), "src"), "a" + std::to_string(i));
        ASSERT_EQ(Section(file, "PROC" + std::to_string(i)).size(), 4u);
    }
}

}  // namespace
}  // namespace updater::platform
