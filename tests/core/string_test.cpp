#include "core/string.h"

#include <gtest/gtest.h>

#include <string>

namespace updater {
namespace {

// --- Storage ---

TEST(StringStorage, DefaultIsEmptyTextNotNull) {
    String s;
    ASSERT_NE(s.CStr(), nullptr);
    EXPECT_STREQ(s.CStr(), "");
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_EQ(s.ToInt(), 0);
}

TEST(StringStorage, ConstructionAndAssignmentCopyTheText) {
    char source[] = "abc";
    String s(source);
    source[0] = 'X';
    EXPECT_STREQ(s.CStr(), "abc");

    String copy(s);
    EXPECT_NE(copy.CStr(), s.CStr());
    EXPECT_STREQ(copy.CStr(), "abc");

    String assigned;
    assigned = s;
    EXPECT_NE(assigned.CStr(), s.CStr());
    assigned = "xyz";
    EXPECT_STREQ(assigned.CStr(), "xyz");
    EXPECT_STREQ(s.CStr(), "abc");
}

TEST(StringStorage, SetAndCatReportSuccess) {
    String s;
    EXPECT_TRUE(s.Set("ab"));
    EXPECT_TRUE(s.Cat("cd"));
    EXPECT_STREQ(s.CStr(), "abcd");
    EXPECT_TRUE(s.Cat(""));
    EXPECT_STREQ(s.CStr(), "abcd");
    s.Append(String("e")).Append("f");
    EXPECT_STREQ(s.CStr(), "abcdef");
}

TEST(StringStorage, AllocZeroFillsAndCompactKeepsTheText) {
    String s("old");
    ASSERT_TRUE(s.Alloc(16));
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(s.CStr()[i], '\0');
    }
    s.CStr()[0] = 'h';
    s.CStr()[1] = 'i';
    EXPECT_EQ(s.GetLength(), 2);
    s.Compact();
    EXPECT_STREQ(s.CStr(), "hi");
}

TEST(StringStorage, FreeLeavesNoTextAndReadersTreatItAsEmpty) {
    String s("abc");
    s.Free();
    EXPECT_EQ(s.CStr(), nullptr);
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_TRUE(s.EqualsNoCase(""));
    EXPECT_EQ(s.ToInt(), 0);
    EXPECT_EQ(s.CountOf("a"), 0);
    EXPECT_EQ(s.CountWords(), 0);
    EXPECT_EQ(s.CountTokens(","), 0);
    EXPECT_EQ(s.CountBlocks("<", ">"), 0);
    EXPECT_STREQ(s.GetToken(0, ",").CStr(), "");
    EXPECT_STREQ(s.Concat("x").CStr(), "x");
    String copy(s);
    EXPECT_STREQ(copy.CStr(), "");
    s.Cat("z");
    EXPECT_STREQ(s.CStr(), "z");
}

TEST(StringStorage, GetAtAndPtrAt) {
    String s("abc");
    EXPECT_EQ(s.GetAt(1), 'b');
    EXPECT_EQ(s.GetAt(3), '\0');
    EXPECT_EQ(s.PtrAt(2), s.CStr() + 2);
}

// Arguments that point into the object's own text are copied before the old text goes.
TEST(StringStorage, OwnTextAsArgument) {
    String s("abcdef");
    const String& same = s;
    s = same;
    EXPECT_STREQ(s.CStr(), "abcdef");
    s.Assign(s);
    EXPECT_STREQ(s.CStr(), "abcdef");
    EXPECT_TRUE(s.Set(s.CStr() + 2));
    EXPECT_STREQ(s.CStr(), "cdef");
    EXPECT_TRUE(s.Cat(s.CStr()));
    EXPECT_STREQ(s.CStr(), "cdefcdef");
    s.Append(s);
    EXPECT_STREQ(s.CStr(), "cdefcdefcdefcdef");
    s = "abc";
    s.Assign(s.PtrAt(1));
    EXPECT_STREQ(s.CStr(), "bc");
    s.ReplaceChars(0, 0, s.CStr());
    EXPECT_STREQ(s.CStr(), "bcc");
    s.Format("[%s]", s.CStr());
    EXPECT_STREQ(s.CStr(), "[bcc]");
}

// --- Comparison and concatenation ---

TEST(StringCompare, EqualsNoCaseFoldsAsciiLettersOnly) {
    String s("abc");
    EXPECT_TRUE(s.EqualsNoCase("ABC"));
    EXPECT_TRUE(s.EqualsNoCase("aBc"));
    EXPECT_TRUE(s.EqualsNoCase(String("abc")));
    EXPECT_FALSE(s.EqualsNoCase("abcd"));
    EXPECT_FALSE(s.EqualsNoCase("ab"));
    EXPECT_TRUE(s.DiffersNoCase("ab"));
    EXPECT_FALSE(s.DiffersNoCase(String("ABC")));
    EXPECT_TRUE(String("").EqualsNoCase(""));

    // Bytes above 127 are compared unchanged (here the lower- and upper-case forms of A-grave).
    EXPECT_FALSE(String("x\xc3\xa0").EqualsNoCase("x\xc3\x80"));
    EXPECT_TRUE(String("X\xc3\xa0").EqualsNoCase("x\xc3\xa0"));
    // Only A to Z fold: '[' (after Z) and '{' (after z) stay different.
    EXPECT_FALSE(String("[").EqualsNoCase("{"));
}

TEST(StringCompare, ConcatLeavesItsObjectUnchanged) {
    String s("ab");
    String t = s.Concat("x");
    EXPECT_STREQ(s.CStr(), "ab");
    EXPECT_STREQ(t.CStr(), "abx");
    EXPECT_STREQ(s.Concat(String("cd")).CStr(), "abcd");
    EXPECT_STREQ(s.CStr(), "ab");
}

// --- Pointer and position ranges ---

TEST(StringRanges, MidPtr) {
    String s("abcdef");
    const char* p = s.CStr();
    EXPECT_STREQ(s.MidPtr(p + 1, p + 3).CStr(), "bcd");
    EXPECT_STREQ(s.MidPtr(p + 2, p + 1).CStr(), "");
    // The copy stops at a terminator.
    EXPECT_STREQ(s.MidPtr(p + 4, p + 20).CStr(), "ef");
    // Reads only the bytes it is given.
    const char other[] = "xyz";
    EXPECT_STREQ(s.MidPtr(other, other + 1).CStr(), "xy");
}

TEST(StringRanges, ReplacePtrCases) {
    String s("abcde");
    s.ReplacePtr(s.PtrAt(1), s.PtrAt(3), "XY");  // head and tail
    EXPECT_STREQ(s.CStr(), "aXYe");
    s = "abcde";
    s.ReplacePtr(s.PtrAt(2), s.PtrAt(4), "Z");  // head only
    EXPECT_STREQ(s.CStr(), "abZ");
    s = "abcde";
    s.ReplacePtr(s.PtrAt(0), s.PtrAt(1), "");  // tail only
    EXPECT_STREQ(s.CStr(), "cde");
    s = "abcde";
    s.ReplacePtr(s.PtrAt(0), s.PtrAt(4), "new");  // all of it
    EXPECT_STREQ(s.CStr(), "new");
    s = "abc";
    s.ReplacePtr(s.PtrAt(1), s.PtrAt(0), "-");  // an empty range inserts
    EXPECT_STREQ(s.CStr(), "a-bc");
}

TEST(StringRanges, GetChars) {
    String s("abc");
    EXPECT_STREQ(s.GetChars(-1, -1).CStr(), "c");
    EXPECT_STREQ(s.GetChars(0, -2).CStr(), "ab");
    EXPECT_STREQ(s.GetChars(1, 0).CStr(), "");
    EXPECT_STREQ(s.GetChars(0, 2).CStr(), "abc");
    EXPECT_STREQ(s.GetChar(1).CStr(), "b");
    EXPECT_STREQ(s.GetChar(-3).CStr(), "a");
    EXPECT_STREQ(String("").GetChars(-1, -1).CStr(), "");
}

TEST(StringRanges, ReplaceChars) {
    String s("abc");
    s.ReplaceChars(0, 0, "X");
    EXPECT_STREQ(s.CStr(), "Xbc");
    s = "abc";
    s.ReplaceChars(-1, -1, "");
    EXPECT_STREQ(s.CStr(), "ab");
    s = "abc";
    s.ReplaceChar(1, "123");
    EXPECT_STREQ(s.CStr(), "a123c");
    s = "abc";
    s.ReplaceChars(0, -1, "z");
    EXPECT_STREQ(s.CStr(), "z");
    s = "";
    s.ReplaceChars(-1, -1, "z");  // nothing to count from
    EXPECT_STREQ(s.CStr(), "");
}

// --- Trim ---

TEST(StringTrim, SpacesAtBothEnds) {
    String s("  a b  ");
    s.Trim(" ");
    EXPECT_STREQ(s.CStr(), "a b");
    s = "   ";
    s.Trim(" ");
    EXPECT_STREQ(s.CStr(), "");
    s = "abc";
    const char* before = s.CStr();
    s.Trim(" ");
    EXPECT_EQ(s.CStr(), before);  // nothing removed: untouched
}

TEST(StringTrim, WholeCopiesIgnoringCase) {
    String s("XxaX");
    s.Trim("x", "x");
    EXPECT_STREQ(s.CStr(), "a");
    s = "ababXaab";
    s.Trim("ab");
    EXPECT_STREQ(s.CStr(), "Xa");  // a lone "a" is not a copy of "ab"
    s = "AbabAB";
    s.Trim("ab");
    EXPECT_STREQ(s.CStr(), "");
}

TEST(StringTrim, OneSideOnly) {
    String s("a;;");
    s.Trim("", ";");
    EXPECT_STREQ(s.CStr(), "a");
    s = ";a";
    s.Trim("", ";");
    EXPECT_STREQ(s.CStr(), ";a");
    s = "C:\\dir\\\\";
    s.Trim("", "\\");
    EXPECT_STREQ(s.CStr(), "C:\\dir");
    s = "\\\\server";
    s.Trim("", "\\");
    EXPECT_STREQ(s.CStr(), "\\\\server");
}

// --- Formatting ---

TEST(StringFormat, FormatsLikePrintf) {
    String s("old");
    EXPECT_EQ(&s.Format("%s=%d 0x%08X", "n", -5, 255u), &s);
    EXPECT_STREQ(s.CStr(), "n=-5 0x000000FF");
    s.Format("");
    EXPECT_STREQ(s.CStr(), "");
}

TEST(StringFormat, LongResultIsNeverCut) {
    const std::string path(5000, 'p');
    String s;
    s.Format("<%s|%s>", path.c_str(), path.c_str());
    EXPECT_EQ(s.GetLength(), 10003);
    EXPECT_EQ(std::string(s.CStr()), "<" + path + "|" + path + ">");
}

TEST(StringFormat, LoadFormatOfUnknownIdIsEmpty) {
    String s("old");
    s.LoadFormat(17, "x");
    EXPECT_STREQ(s.CStr(), "");
    s = "old";
    s.LoadFormat(0);
    EXPECT_STREQ(s.CStr(), "");
}

// --- Numbers ---

TEST(StringNumbers, ToIntReadsLikeScanfDecimal) {
    EXPECT_EQ(String(" -42").ToInt(), -42);
    EXPECT_EQ(String("+7").ToInt(), 7);
    EXPECT_EQ(String("abc").ToInt(), 0);
    EXPECT_EQ(String("7z").ToInt(), 7);
    EXPECT_EQ(String("12abc").ToInt(), 12);
    EXPECT_EQ(String("0x1F").ToInt(), 0);
    EXPECT_EQ(String("").ToInt(), 0);
    EXPECT_EQ(String("\t\n 15").ToInt(), 15);
}

TEST(StringNumbers, HexToIntNeedsLowerCaseZeroXPrefix) {
    EXPECT_EQ(String("0x1f").HexToInt(), 31);
    EXPECT_EQ(String("0x1F").HexToInt(), 31);
    EXPECT_EQ(String("0X1F").HexToInt(), 0);
    EXPECT_EQ(String("1F").HexToInt(), 0);
    EXPECT_EQ(String("0x").HexToInt(), 0);
    EXPECT_EQ(String("0xg").HexToInt(), 0);
    EXPECT_EQ(String(" 0x1F").HexToInt(), 0);
    EXPECT_EQ(String("").HexToInt(), 0);
    EXPECT_EQ(String("0xFFFFFFFF").HexToInt(), -1);
    EXPECT_EQ(String("0x10zz").HexToInt(), 16);
}

// --- Search and replace ---

TEST(StringReplaceAll, ReplacesEveryOccurrence) {
    String s("a%nb%n");
    EXPECT_TRUE(s.ReplaceAll("%n", "\n"));
    EXPECT_STREQ(s.CStr(), "a\nb\n");
    s = "ab";
    EXPECT_FALSE(s.ReplaceAll("%n", "\n"));
    EXPECT_STREQ(s.CStr(), "ab");
    s = "%t%t";
    EXPECT_TRUE(s.ReplaceAll("%t", "\t"));
    EXPECT_STREQ(s.CStr(), "\t\t");
}

TEST(StringReplaceAll, SearchesAgainFromTheStart) {
    String s("aaaa");
    EXPECT_TRUE(s.ReplaceAll("aa", "a"));
    EXPECT_STREQ(s.CStr(), "a");
    // A replacement that makes an occurrence together with the text before it.
    s = "aaab";
    EXPECT_TRUE(s.ReplaceAll("ab", "b"));
    EXPECT_STREQ(s.CStr(), "b");
    s = "xabcc";
    EXPECT_TRUE(s.ReplaceAll("bc", "b"));
    EXPECT_STREQ(s.CStr(), "xab");
}

TEST(StringReplaceAll, EmptyPatternFindsNothing) {
    String s("abc");
    EXPECT_FALSE(s.ReplaceAll("", "x"));
    EXPECT_STREQ(s.CStr(), "abc");
}

TEST(StringCountOf, CountsWithoutOverlap) {
    EXPECT_EQ(String("say \"hi\"").CountOf("\""), 2);
    EXPECT_EQ(String("aaaa").CountOf("aa"), 2);
    EXPECT_EQ(String("aaa").CountOf("aa"), 1);
    EXPECT_EQ(String("").CountOf("a"), 0);
    EXPECT_EQ(String("abc").CountOf("x"), 0);
    EXPECT_EQ(String("abc").CountOf(""), 0);
}

// --- AssignMulti ---

TEST(StringAssignMulti, ConcatenatesTheList) {
    String s("old");
    s.AssignMulti("ab\0cd\0");  // the literal's own terminator ends the list
    EXPECT_STREQ(s.CStr(), "abcd");
    s.AssignMulti("x\0\0");
    EXPECT_STREQ(s.CStr(), "x");
    s.AssignMulti("");
    EXPECT_STREQ(s.CStr(), "");
    EXPECT_EQ(s.GetLength(), 0);
}

}  // namespace
}  // namespace updater
