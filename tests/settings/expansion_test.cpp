#include "settings/expansion.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>

#include "core/system_queries.h"
#include "platform/overrides.h"
#include "settings/process_values.h"
#include "settings/symbol_table.h"
#include "support/temp_directory.h"

namespace updater {
namespace {

class Expansion : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearSymbols();
        CommandLine = "";
        unsetenv("UPDATER_REGISTRY");
    }
    void TearDown() override {
        ClearSymbols();
        CommandLine = "";
        unsetenv("UPDATER_REGISTRY");
        platform::overrides::SetSpecialFoldersMissing(false);
    }

    void UseRegistry(const std::string& text) {
        std::ofstream(registryFile_) << text;
        setenv("UPDATER_REGISTRY", registryFile_.c_str(), 1);
    }

    static std::string Expanded(const char* value) {
        String text = value;
        ExpandValue(text);
        return text.CStr();
    }

    // A directory of its own: tests run in parallel processes, and one's clean-up must not take
    // another's file away.
    testing::TempDirectory directory_;
    std::string registryFile_ = directory_.Native("registry.ini");
};

TEST_F(Expansion, SymbolsResolveWithoutRegardToCase) {
    SetSymbol("<Src>", "D:\\Tools");
    EXPECT_EQ(Expanded("<Src>\\Data"), "D:\\Tools\\Data");
    EXPECT_EQ(Expanded("<src>\\Data"), "D:\\Tools\\Data");
    EXPECT_EQ(Expanded("<SRC>;<Src>"), "D:\\Tools;D:\\Tools");
}

TEST_F(Expansion, UnknownReferencesStayAndLaterOnesStillResolve) {
    SetSymbol("<Src>", "D:\\Tools");
    EXPECT_EQ(Expanded("<Nothing>\\<Src>"), "<Nothing>\\D:\\Tools");
    EXPECT_EQ(Expanded("a < b"), "a < b");
}

TEST_F(Expansion, StrayMarkersHideTheReferencesAfterThem) {
    SetSymbol("<Src>", "D:\\Tools");
    CommandLine = "word";
    EXPECT_EQ(Expanded("<Src>\\a>b\\<Src>"), "D:\\Tools\\a>b\\<Src>");
    EXPECT_EQ(Expanded("a<b\\<Src>"), "a<b\\<Src>");
    EXPECT_EQ(Expanded("{?Param\\0}}{?Param\\0}"), "word}{?Param\\0}");
    EXPECT_EQ(Expanded("{a\\{?Param\\0}"), "{a\\{?Param\\0}");
}

TEST_F(Expansion, InsertedReferencesTakeTheirTurnFromLaterOnes) {
    SetSymbol("<A>", "<B>");
    SetSymbol("<B>", "b");
    EXPECT_EQ(Expanded("<A>"), "<B>");
    EXPECT_EQ(Expanded("<A>\\<B>"), "b\\<B>");
    EXPECT_EQ(Expanded("<A>\\<X>"), "b\\<X>");
}

TEST_F(Expansion, FunctionsRunAfterSymbolsAndFoldingLast) {
    CommandLine = "first <B> ..";
    SetSymbol("<A>", "{?Param\\0}");
    SetSymbol("<B>", "b");
    EXPECT_EQ(Expanded("<A>"), "first");
    // A function's result is not looked at for symbols again.
    EXPECT_EQ(Expanded("{?Param\\1}"), "<B>");
    EXPECT_EQ(Expanded("D:\\x\\y\\{?Param\\2}"), "D:\\x");
}

TEST_F(Expansion, ParamWordsByIndexFromEitherEnd) {
    CommandLine = "/tSetup \"C:\\My Dir\" -x last";
    EXPECT_EQ(Expanded("{?Param\\0}"), "/tSetup");
    EXPECT_EQ(Expanded("{?Param\\1}"), "C:\\My Dir");
    EXPECT_EQ(Expanded("{?Param\\-1}"), "last");
    EXPECT_EQ(Expanded("{?param\\-4}"), "/tSetup");
    EXPECT_EQ(Expanded("{?Param\\4}"), "");
    EXPECT_EQ(Expanded("{?Param\\-5}"), "");
    EXPECT_EQ(Expanded("{?Param\\abc}"), "/tSetup");
    EXPECT_EQ(Expanded("[{?Param\\9}]"), "[]");
    // Only three items make a range; four read as one index.
    EXPECT_EQ(Expanded("{?Param\\1\\2\\3}"), "C:\\My Dir");
}

TEST_F(Expansion, ParamRangesJoinWordsFromFirstToLast) {
    CommandLine = "/tSetup \"C:\\My Dir\" -x last";
    EXPECT_EQ(Expanded("{?Param\\0\\-1}"), "/tSetup, C:\\My Dir, -x, last");
    EXPECT_EQ(Expanded("{?Param\\1\\2}"), "C:\\My Dir, -x");
    EXPECT_EQ(Expanded("{?Param\\-2\\-1}"), "-x, last");
    EXPECT_EQ(Expanded("{?Param\\2\\1}"), "");
    EXPECT_EQ(Expanded("{?Param\\3\\3}"), "last");
    // A word past the end is an empty word; an index still negative counts from the end again.
    EXPECT_EQ(Expanded("{?Param\\2\\5}"), "-x, last, , ");
    EXPECT_EQ(Expanded("{?Param\\5\\6}"), ", ");
    EXPECT_EQ(Expanded("{?Param\\-5\\1}"), "last, /tSetup, C:\\My Dir");
    // However far a range reaches, it is cut after 1,024 words.
    std::string capped = "/tSetup, C:\\My Dir, -x, last";
    for (int word = 4; word < 1024; ++word)
        capped += ", ";
    EXPECT_EQ(Expanded("{?Param\\0\\2147483647}"), capped);
    CommandLine = "";
    EXPECT_EQ(Expanded("{?Param\\0\\-1}"), "");
    EXPECT_EQ(Expanded("{?Param\\0}"), "");
}

TEST_F(Expansion, AValueStopsGrowingPastOneMebibyte) {
    const std::string half(600 * 1024, 'a');
    SetSymbol("<Half>", half.c_str());
    EXPECT_EQ(Expanded("<Half>|<Half>"), half + "|<Half>");
}

TEST_F(Expansion, AppAndAppPathReadTheRegistry) {
    UseRegistry(
        "[Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\tool.exe]\n"
        "@=C:\\Program Files\\Tool\\tool.exe\n"
        "PATH=C:\\Program Files\\Tool\\;\n"
        "[Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\other.exe]\n"
        "@=D:\\Other\\other.exe\n"
        "PATH=D:\\Other\\\\;;\n");
    EXPECT_EQ(Expanded("{?App\\tool.exe}"), "C:\\Program Files\\Tool\\tool.exe");
    EXPECT_EQ(Expanded("{?app\\TOOL.EXE}"), "C:\\Program Files\\Tool\\tool.exe");
    // Backslashes go before semicolons, so one before a ";" stays.
    EXPECT_EQ(Expanded("{?AppPath\\tool.exe}"), "C:\\Program Files\\Tool\\");
    EXPECT_EQ(Expanded("{?AppPath\\other.exe}"), "D:\\Other\\\\");
    EXPECT_EQ(Expanded("{?AppPath\\other.exe}\\..\\x"), "D:\\Other\\\\x");
}

TEST_F(Expansion, UnresolvedFunctionsStayAsWritten) {
    UseRegistry("[Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\tool.exe]\n@=t\n");
    EXPECT_EQ(Expanded("{?App\\none.exe}"), "{?App\\none.exe}");
    EXPECT_EQ(Expanded("{?AppPath\\tool.exe}"), "{?AppPath\\tool.exe}");
    EXPECT_EQ(Expanded("{?Nope\\1}{plain}"), "{?Nope\\1}{plain}");
    EXPECT_EQ(Expanded("{?App\\none.exe}{?App\\tool.exe}"), "{?App\\none.exe}t");
    unsetenv("UPDATER_REGISTRY");
    EXPECT_EQ(Expanded("{?App\\tool.exe}"), "{?App\\tool.exe}");
}

TEST_F(Expansion, SpFolderReadsHexadecimalIdsOnly) {
    String appData;
    String desktop;
    ASSERT_TRUE(GetSpecialFolder(nullptr, appData, 0x1a));
    ASSERT_TRUE(GetSpecialFolder(nullptr, desktop, 0));
    appData.Trim("", "\\");
    desktop.Trim("", "\\");
    EXPECT_EQ(Expanded("{?SpFolder\\0x1a}"), appData.CStr());
    EXPECT_EQ(Expanded("{?spfolder\\0x1A}"), appData.CStr());
    // Without the "0x" prefix the id reads as 0, the desktop.
    EXPECT_EQ(Expanded("{?SpFolder\\26}"), desktop.CStr());
    platform::overrides::SetSpecialFoldersMissing(true);
    EXPECT_EQ(Expanded("{?SpFolder\\0x1a}"), "{?SpFolder\\0x1a}");
}

TEST_F(Expansion, SpFolderDropsTrailingBackslashes) {
    const char* old = getenv("XDG_CONFIG_HOME");
    const std::string saved = old != nullptr ? old : "";
    setenv("XDG_CONFIG_HOME", "/", 1);
    String root;
    const bool found = GetSpecialFolder(nullptr, root, 0x1a);
    const std::string expanded = Expanded("{?SpFolder\\0x1a}");
    if (old != nullptr) {
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
    ASSERT_TRUE(found);
    EXPECT_STREQ(root.CStr(), "\\");
    EXPECT_EQ(expanded, "");
}

TEST_F(Expansion, ParentItemsFoldOnceFromTheLeft) {
    EXPECT_EQ(Expanded("D:\\Tools\\App\\..\\Data"), "D:\\Tools\\Data");
    EXPECT_EQ(Expanded("D:\\X\\Y\\..\\..\\Z"), "D:\\Z");
    EXPECT_EQ(Expanded("D:\\X\\..\\Y\\..\\Z"), "D:\\Y\\..\\Z");
    EXPECT_EQ(Expanded("D:\\Tools\\.."), "D:");
    EXPECT_EQ(Expanded("\\opt\\tool\\..\\data"), "\\opt\\data");
    // Items 0 and 1 are never folded.
    EXPECT_EQ(Expanded("..\\x\\y"), "..\\x\\y");
    EXPECT_EQ(Expanded("D:\\..\\x"), "D:\\..\\x");
    EXPECT_EQ(Expanded("D:\\x\\...\\y"), "D:\\x\\...\\y");
    EXPECT_EQ(Expanded("D:\\x..\\y"), "D:\\x..\\y");
    String text = "D:\\..";
    EXPECT_FALSE(FoldParentDirs(text));
    text = "a\\b\\..";
    EXPECT_TRUE(FoldParentDirs(text));
    EXPECT_STREQ(text.CStr(), "a");
}

// The fold as the item operations of String spell it.
bool FoldByItemOperations(String& text) {
    if (text.CountOf("\\..") == 0)
        return false;
    const int passes = text.CountTokens("\\") - 2;
    if (passes <= 0)
        return false;
    bool changed = false;
    int item = 2;
    for (int pass = 0; pass < passes; ++pass) {
        if (std::string(text.GetToken(item, "\\").CStr()) != "..") {
            ++item;
            continue;
        }
        const String kept = text.GetToken(item - 2, "\\");
        text.ReplaceTokens(item - 2, item, "\\", kept.CStr());
        changed = true;
        if (--item - 2 < 0)
            break;
    }
    return changed;
}

TEST_F(Expansion, FoldingMatchesTheItemOperationsOnEveryShortPath) {
    std::vector<std::string> texts = {""};
    for (std::size_t length = 1; length <= 9; ++length) {
        std::vector<std::string> longer;
        for (const std::string& text : texts) {
            if (text.size() + 1 != length)
                continue;
            for (const char c : std::string("\\.a"))
                longer.push_back(text + c);
        }
        texts.insert(texts.end(), longer.begin(), longer.end());
    }
    for (const std::string& input : texts) {
        String fast = input.c_str();
        String literal = input.c_str();
        const bool fastChanged = FoldParentDirs(fast);
        ASSERT_EQ(fastChanged, FoldByItemOperations(literal)) << input;
        ASSERT_STREQ(fast.CStr(), literal.CStr()) << input;
    }
}

TEST_F(Expansion, LongValuesAreNotCut) {
    const std::string longPath = "D:\\" + std::string(5000, 'p');
    SetSymbol("<Long>", longPath.c_str());
    CommandLine = "word";
    std::string value;
    for (int i = 0; i < 150; ++i)
        value += "<Long>\\";
    for (int i = 0; i < 20000; ++i)
        value += "{?Param\\0}";
    value += "\\x\\..\\y";
    const std::string expanded = Expanded(value.c_str());
    ASSERT_EQ(expanded.size(), 150 * (longPath.size() + 1) + 20000 * 4 + 2);
    EXPECT_EQ(expanded.substr(0, longPath.size() + 1), longPath + "\\");
    EXPECT_EQ(expanded.substr(expanded.size() - 10), "wordword\\y");
}

}  // namespace
}  // namespace updater
