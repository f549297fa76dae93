#include "settings/symbol_table.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/expansion.h"
#include "settings/process_values.h"
#include "settings/profile_reader.h"
#include "support/script_fixture.h"

namespace updater {
namespace {

using SymbolTable = testing::ScriptTest;

std::string Lookup(const char* name) {
    String value = "<none>";
    LookupSymbol(name, value);
    return value.CStr();
}

const char* const kBuiltIns[] = {"<Win>", "<Sys>", "<Src>", "<Desktop>", "<Programs>"};

// The start of a run: [DEFINE], then the built-ins in their order, then one expansion.
void FillTable(const char* source) {
    ReadDefinitions(SettingsPath);
    for (const char* name : kBuiltIns) {
        SetSymbol(name, std::string(name) == "<Src>" ? source : "C:\\Builtin");
    }
    ExpandDefinitions();
}

TEST_F(SymbolTable, DefinitionsAreReadWithoutCommentsAndCutAtTheirSecondEquals) {
    WriteScript("[DEFINE]\n<A>=x=y\n;<B>=comment\n<C>=\nplain\n");
    EXPECT_EQ(ReadDefinitions(SettingsPath), 3);
    EXPECT_EQ(Lookup("<A>"), "x");
    EXPECT_EQ(Lookup("<B>"), "<none>");
    EXPECT_EQ(Lookup("<C>"), "");
    // A line without "=" is a name with an empty value.
    EXPECT_EQ(Lookup("PLAIN"), "");
}

TEST_F(SymbolTable, NamesMatchWholeAndWithoutRegardToCase) {
    SetSymbol("<AppDir>", "D:\\App");
    EXPECT_EQ(Lookup("<appdir>"), "D:\\App");
    EXPECT_EQ(Lookup("<APPDIR>"), "D:\\App");
    EXPECT_EQ(Lookup("<App>"), "<none>");
    EXPECT_EQ(Lookup("AppDir"), "<none>");
    String untouched = "kept";
    EXPECT_FALSE(LookupSymbol("<Other>", untouched));
    EXPECT_STREQ(untouched.CStr(), "kept");
}

TEST_F(SymbolTable, DuplicatesFindTheFirstAndABuiltInReplacesItInPlace) {
    WriteScript("[DEFINE]\n<Src>=first\n<Src>=second\n<After>=<Src>\\x\n");
    FillTable("D:\\Tools");
    EXPECT_EQ(Lookup("<Src>"), "D:\\Tools");
    // The entry after the replaced one sees the built-in value.
    EXPECT_EQ(Lookup("<After>"), "D:\\Tools\\x");
}

TEST_F(SymbolTable, ALineWithoutEqualsKeepsItsEmptyValue) {
    WriteScript("[DEFINE]\n<Src>\n");
    FillTable("D:\\Tools");
    EXPECT_EQ(Lookup("<Src>"), "");
}

TEST_F(SymbolTable, WithoutDefinitionsAllBuiltInsAreFound) {
    WriteScript("[UPDATER]\nNAME=x\n");
    FillTable("D:\\Tools");
    EXPECT_EQ(Lookup("<Src>"), "D:\\Tools");
    for (const char* name : kBuiltIns)
        EXPECT_NE(Lookup(name), "<none>") << name;
}

TEST_F(SymbolTable, EntriesExpandOnceInTableOrder) {
    WriteScript("[DEFINE]\n<A>=<B>\\a\n<B>=<C>\\b\n<C>=c\n<D>=<B>\\d\n");
    ReadDefinitions(SettingsPath);
    ExpandDefinitions();
    // A later entry is inserted as written; an earlier one already expanded.
    EXPECT_EQ(Lookup("<A>"), "<C>\\b\\a");
    EXPECT_EQ(Lookup("<B>"), "c\\b");
    EXPECT_EQ(Lookup("<D>"), "c\\b\\d");
}

TEST_F(SymbolTable, BaseAsTheParentOfTheSourceDirectory) {
    WriteScript("[DEFINE]\n<Base>=<Src>\\..\n");
    FillTable("D:\\Apps\\Tool\\Bin");
    EXPECT_EQ(Lookup("<Base>"), "D:\\Apps\\Tool");
    ClearSymbols();
    FillTable("D:\\Tools");
    EXPECT_EQ(Lookup("<Base>"), "D:");
}

TEST_F(SymbolTable, DefinitionsMayCallFunctions) {
    CommandLine = "one two";
    WriteScript("[DEFINE]\n<Second>={?Param\\1}\n<Both>={?Param\\0\\1}\n");
    ReadDefinitions(SettingsPath);
    ExpandDefinitions();
    EXPECT_EQ(Lookup("<Second>"), "two");
    EXPECT_EQ(Lookup("<Both>"), "one, two");
}

TEST_F(SymbolTable, ValuesSetLaterKeepEqualsAndLineFeeds) {
    // Paths may hold "="; only a [DEFINE] line is cut at its second one.
    SetSymbol("<Src>", "D:\\a=b");
    SetSymbol("<Odd>", "x\ny");
    SetSymbol("<Next>", "n");
    EXPECT_EQ(Lookup("<Src>"), "D:\\a=b");
    EXPECT_EQ(Lookup("<Odd>"), "x\ny");
    EXPECT_EQ(Lookup("<Next>"), "n");
    CommandLine = "k=v";
    SetSymbol("<Word>", "{?Param\\0}");
    ExpandDefinitions();
    EXPECT_EQ(Lookup("<Word>"), "k=v");
}

TEST_F(SymbolTable, ClearingEmptiesTheTable) {
    SetSymbol("<A>", "a");
    ClearSymbols();
    EXPECT_EQ(Lookup("<A>"), "<none>");
    WriteScript("[DEFINE]\n<A>=1\n");
    ReadDefinitions(SettingsPath);
    EXPECT_EQ(ReadDefinitions(SettingsPath), 1);
    // Read twice, the first of the equal names still wins.
    SetSymbol("<A>", "2");
    EXPECT_EQ(Lookup("<A>"), "2");
}

TEST_F(SymbolTable, ReadKeyExpandsTextButNotIntegers) {
    WriteScript("[DEFINE]\n<N>=7\n[S]\nTEXT=<Src>\\<N>\nNUMBER=<N>\n");
    FillTable("D:\\Tools");
    String text;
    ASSERT_TRUE(ReadKey("S", "TEXT", text));
    EXPECT_STREQ(text.CStr(), "D:\\Tools\\7");
    int number = 5;
    ASSERT_TRUE(ReadIntKey("S", "NUMBER", number));
    EXPECT_EQ(number, 5);
}

}  // namespace
}  // namespace updater
