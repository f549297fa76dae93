#include <gtest/gtest.h>

#include "core/string.h"

namespace updater {
namespace {

// --- Items ---

TEST(StringItems, CountAndGetAtComma) {
    String s("a,,b");
    EXPECT_EQ(s.CountTokens(","), 3);
    EXPECT_STREQ(s.GetToken(0, ",").CStr(), "a");
    EXPECT_STREQ(s.GetToken(1, ",").CStr(), "");
    EXPECT_STREQ(s.GetToken(2, ",").CStr(), "b");
    EXPECT_STREQ(s.GetToken(-1, ",").CStr(), "b");

    String leading(",a,");
    EXPECT_EQ(leading.CountTokens(","), 3);
    EXPECT_STREQ(leading.GetToken(0, ",").CStr(), "");
    EXPECT_STREQ(leading.GetToken(1, ",").CStr(), "a");
    EXPECT_STREQ(leading.GetToken(2, ",").CStr(), "");
}

TEST(StringItems, EmptyTextAndTextWithoutDelimiter) {
    String empty("");
    EXPECT_EQ(empty.CountTokens(","), 0);
    EXPECT_STREQ(empty.GetToken(0, ",").CStr(), "");
    EXPECT_STREQ(empty.GetToken(-1, ",").CStr(), "");

    String one("abc");
    EXPECT_EQ(one.CountTokens(","), 1);
    EXPECT_STREQ(one.GetToken(0, ",").CStr(), "abc");
    EXPECT_STREQ(one.GetToken(-1, ",").CStr(), "abc");
}

TEST(StringItems, PathPieces) {
    String path("C:\\dir\\file.txt");
    EXPECT_STREQ(path.GetToken(-1, "\\").CStr(), "file.txt");
    EXPECT_STREQ(path.GetTokens(0, -2, "\\").CStr(), "C:\\dir");
    EXPECT_STREQ(path.GetTokens(1, 9, "\\").CStr(), "dir\\file.txt");
    EXPECT_STREQ(String("file.txt").GetTokens(0, -2, "\\").CStr(), "file.txt");
}

TEST(StringItems, ReplaceTheExtension) {
    String s("C:\\dir\\prog.exe");
    s.ReplaceTokens(-1, -1, ".", "ini");
    EXPECT_STREQ(s.CStr(), "C:\\dir\\prog.ini");
    s = "C:\\dir.d\\prog";
    s.ReplaceTokens(-1, -1, ".", "ini");
    EXPECT_STREQ(s.CStr(), "C:\\dir.ini");
    s = "prog";
    s.ReplaceTokens(-1, -1, ".", "ini");
    EXPECT_STREQ(s.CStr(), "ini");
}

TEST(StringItems, OutOfRangeFindsNothing) {
    String s("a,b");
    EXPECT_STREQ(s.GetToken(5, ",").CStr(), "");
    EXPECT_STREQ(s.GetToken(-3, ",").CStr(), "");
    EXPECT_STREQ(s.GetTokens(2, 4, ",").CStr(), "");
    char* first = nullptr;
    char* last = nullptr;
    EXPECT_FALSE(s.FindTokens(5, 5, ",", &first, &last));
    s.ReplaceToken(5, ",", "x");
    EXPECT_STREQ(s.CStr(), "a,b");
}

TEST(StringItems, FindTokensGivesInclusivePointers) {
    String s("ab,cd,ef");
    char* first = nullptr;
    char* last = nullptr;
    ASSERT_TRUE(s.FindTokens(1, 1, ",", &first, &last));
    EXPECT_EQ(first, s.PtrAt(3));
    EXPECT_EQ(last, s.PtrAt(4));
    ASSERT_TRUE(s.FindTokens(1, -1, ",", &first, &last));
    EXPECT_EQ(first, s.PtrAt(3));
    EXPECT_EQ(last, s.PtrAt(7));
}

TEST(StringItems, MultiByteDelimiter) {
    String s("a::b");
    EXPECT_EQ(s.CountTokens("::"), 2);
    EXPECT_STREQ(s.GetToken(0, "::").CStr(), "a");
    EXPECT_STREQ(s.GetToken(1, "::").CStr(), "b");
    // Occurrences are found left to right without overlap.
    String odd("a:::b");
    EXPECT_EQ(odd.CountTokens("::"), 2);
    EXPECT_STREQ(odd.GetToken(1, "::").CStr(), ":b");
}

TEST(StringItems, ReplaceOneAndARange) {
    String s("a,,b");
    s.ReplaceToken(1, ",", "X");
    EXPECT_STREQ(s.CStr(), "a,X,b");
    s.ReplaceTokens(0, 1, ",", "Y");
    EXPECT_STREQ(s.CStr(), "Y,b");
    s.ReplaceToken(-1, ",", "");
    EXPECT_STREQ(s.CStr(), "Y,");
}

TEST(StringItems, NameAndValue) {
    String s("<Dir>=C:\\a=b");
    EXPECT_STREQ(s.GetToken(0, "=").CStr(), "<Dir>");
    EXPECT_STREQ(s.GetTokens(1, -1, "=").CStr(), "C:\\a=b");
}

// --- Words ---

TEST(StringWords, QuotedWordKeepsItsSpaces) {
    String s("setup.exe \"C:\\My Dir\" /s");
    EXPECT_EQ(s.CountWords(), 3);
    EXPECT_STREQ(s.GetWord(0).CStr(), "setup.exe");
    EXPECT_STREQ(s.GetWord(1).CStr(), "C:\\My Dir");
    EXPECT_STREQ(s.GetWords(0, 1).CStr(), "setup.exe \"C:\\My Dir\"");
    EXPECT_STREQ(s.GetWord(-1).CStr(), "/s");
    EXPECT_STREQ(s.GetWords(1, 9).CStr(), "\"C:\\My Dir\" /s");
}

TEST(StringWords, EmptyWords) {
    String two("a  b");
    EXPECT_EQ(two.CountWords(), 3);
    EXPECT_STREQ(two.GetWord(1).CStr(), "");
    EXPECT_STREQ(two.GetWord(2).CStr(), "b");

    String space(" ");
    EXPECT_EQ(space.CountWords(), 2);
    char* first = nullptr;
    char* last = nullptr;
    ASSERT_TRUE(space.FindWords(0, 0, &first, &last));
    EXPECT_EQ(first, space.PtrAt(0));
    EXPECT_EQ(last + 1, first);
    ASSERT_TRUE(space.FindWords(1, 1, &first, &last));
    EXPECT_EQ(first, space.PtrAt(1));
    EXPECT_EQ(last + 1, first);

    String empty("");
    EXPECT_EQ(empty.CountWords(), 0);
    EXPECT_STREQ(empty.GetWord(0).CStr(), "");
    EXPECT_STREQ(empty.GetWord(-1).CStr(), "");
}

TEST(StringWords, OutOfRangeFindsNothing) {
    String s("a b c");
    EXPECT_STREQ(s.GetWord(3).CStr(), "");
    EXPECT_STREQ(s.GetWords(2, 1).CStr(), "");
    EXPECT_STREQ(s.GetWord(-4).CStr(), "");
    s.ReplaceWords(2, 1, "x");
    EXPECT_STREQ(s.CStr(), "a b c");
}

TEST(StringWords, QuotesStayInsideLongerWordsAndRanges) {
    String s("/t\"My Title\" next");
    EXPECT_EQ(s.CountWords(), 2);
    EXPECT_STREQ(s.GetWord(0).CStr(), "/t\"My Title\"");
    String pair("\"a\" \"b\"");
    EXPECT_STREQ(pair.GetWord(0).CStr(), "a");
    EXPECT_STREQ(pair.GetWords(0, 1).CStr(), "\"a\" \"b\"");
}

TEST(StringWords, UnclosedQuoteJoinsTheRest) {
    String s("a \"b c d");
    EXPECT_EQ(s.CountWords(), 2);
    EXPECT_STREQ(s.GetWord(1).CStr(), "\"b c d");
}

TEST(StringWords, Replace) {
    String s("setup.exe \"C:\\My Dir\" /s");
    s.ReplaceWord(-1, "/q");
    EXPECT_STREQ(s.CStr(), "setup.exe \"C:\\My Dir\" /q");
    s.ReplaceWords(0, 1, "run");
    EXPECT_STREQ(s.CStr(), "run /q");
    // A single quoted word is located without its quotes, so they stay around the replacement.
    s = "\"a b\" c";
    s.ReplaceWord(0, "x");
    EXPECT_STREQ(s.CStr(), "\"x\" c");
}

// --- Blocks ---

TEST(StringBlocks, NestedBlocksCountOnce) {
    String s("a{b{c}d}e{f}");
    EXPECT_EQ(s.CountBlocks("{", "}"), 2);
    EXPECT_STREQ(s.GetBlock(0, "{", "}").CStr(), "{b{c}d}");
    EXPECT_STREQ(s.GetBlock(1, "{", "}").CStr(), "{f}");
    EXPECT_STREQ(s.GetBlock(2, "{", "}").CStr(), "");
    EXPECT_STREQ(s.GetBlock(-1, "{", "}").CStr(), "{f}");
    EXPECT_STREQ(s.GetBlocks(0, 1, "{", "}").CStr(), "{b{c}d}e{f}");
    EXPECT_STREQ(s.GetBlocks(1, 0, "{", "}").CStr(), "");
}

TEST(StringBlocks, ReplaceIncludesTheMarkers) {
    String s("a<Win>b");
    EXPECT_EQ(s.CountBlocks("<", ">"), 1);
    EXPECT_STREQ(s.GetBlock(0, "<", ">").CStr(), "<Win>");
    s.ReplaceBlock(0, "<", ">", "X");
    EXPECT_STREQ(s.CStr(), "aXb");

    s = "<A>\\<B>\\c";
    s.ReplaceBlock(-1, "<", ">", "2");
    EXPECT_STREQ(s.CStr(), "<A>\\2\\c");
    s.ReplaceBlocks(0, 0, "<", ">", "1");
    EXPECT_STREQ(s.CStr(), "1\\2\\c");
    s.ReplaceBlock(0, "<", ">", "x");
    EXPECT_STREQ(s.CStr(), "1\\2\\c");
}

TEST(StringBlocks, OpeningMarkerWithoutClosingMarker) {
    String s("a{b");
    EXPECT_EQ(s.CountBlocks("{", "}"), 0);
    EXPECT_STREQ(s.GetBlock(0, "{", "}").CStr(), "");
    char* first = nullptr;
    char* last = nullptr;
    EXPECT_FALSE(s.FindBlocks(0, 0, "{", "}", &first, &last));
}

TEST(StringBlocks, BlockNeverClosedReachesTheEnd) {
    // The outer block has a closing marker after it (the inner one's) but is never closed itself.
    String s("a{b{c}d");
    EXPECT_EQ(s.CountBlocks("{", "}"), 0);
    EXPECT_STREQ(s.GetBlock(0, "{", "}").CStr(), "{b{c}d");
}

TEST(StringBlocks, StrayClosingMarkerHidesLaterSimpleBlocks) {
    String s("}{a}{b}");
    EXPECT_EQ(s.CountBlocks("{", "}"), 0);
    EXPECT_STREQ(s.GetBlock(0, "{", "}").CStr(), "");

    // A block is counted again only when one of its closing markers brings the depth to 0.
    String nested("}{{a}}");
    EXPECT_EQ(nested.CountBlocks("{", "}"), 1);
    EXPECT_STREQ(nested.GetBlock(0, "{", "}").CStr(), "{a}");

    // Blocks before the stray marker are unaffected.
    String after("{a}}{b}");
    EXPECT_EQ(after.CountBlocks("{", "}"), 1);
    EXPECT_STREQ(after.GetBlock(0, "{", "}").CStr(), "{a}");
    EXPECT_STREQ(after.GetBlock(1, "{", "}").CStr(), "");
}

TEST(StringBlocks, MultiByteMarkers) {
    String s("x<%a<%b%>%>y<%c%>");
    EXPECT_EQ(s.CountBlocks("<%", "%>"), 2);
    EXPECT_STREQ(s.GetBlock(0, "<%", "%>").CStr(), "<%a<%b%>%>");
    EXPECT_STREQ(s.GetBlock(1, "<%", "%>").CStr(), "<%c%>");
}

TEST(StringBlocks, FunctionInsideText) {
    String s("{?App notepad.exe}\\sub");
    EXPECT_STREQ(s.GetBlock(0, "{", "}").CStr(), "{?App notepad.exe}");
    char* first = nullptr;
    char* last = nullptr;
    ASSERT_TRUE(s.FindBlocks(0, 0, "{", "}", &first, &last));
    EXPECT_EQ(first, s.PtrAt(0));
    EXPECT_EQ(last, s.PtrAt(17));
}

TEST(StringBlocks, EmptyText) {
    String s("");
    EXPECT_EQ(s.CountBlocks("<", ">"), 0);
    EXPECT_STREQ(s.GetBlock(0, "<", ">").CStr(), "");
    EXPECT_STREQ(s.GetBlock(-1, "<", ">").CStr(), "");
}

}  // namespace
}  // namespace updater
