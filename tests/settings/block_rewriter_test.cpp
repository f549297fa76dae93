#include "settings/block_rewriter.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

namespace updater {
namespace {

using Replacements = std::map<std::string, std::string>;

BlockResolver From(const Replacements& replacements) {
    return [&replacements](const String& block, String& replacement) {
        const auto found = replacements.find(block.CStr());
        if (found == replacements.end())
            return false;
        replacement = found->second.c_str();
        return true;
    };
}

// The rewrite as the block operations of String spell it, rescanning from the start every pass.
bool RewriteByBlockOperations(String& text, const char* open, const char* close,
                              const BlockResolver& resolve) {
    const int passes = text.CountBlocks(open, close);
    bool changed = false;
    int index = 0;
    for (int pass = 0; pass < passes; ++pass) {
        String replacement;
        if (resolve(text.GetBlock(index, open, close), replacement)) {
            text.ReplaceBlock(index, open, close, replacement.CStr());
            changed = true;
        } else {
            ++index;
        }
    }
    return changed;
}

struct Outcome {
    std::string text;
    bool changed;
};

Outcome Rewrite(const std::string& input, const Replacements& replacements) {
    String text = input.c_str();
    const bool changed = RewriteBlocks(text, '<', '>', From(replacements));
    return {text.CStr(), changed};
}

Outcome RewriteByOperations(const std::string& input, const Replacements& replacements) {
    String text = input.c_str();
    const bool changed = RewriteByBlockOperations(text, "<", ">", From(replacements));
    return {text.CStr(), changed};
}

// Replacements that insert new blocks, stray markers and nothing at all.
const Replacements kTricky = {
    {"<a>", "x"},   {"<b>", "<a>"}, {"<c>", ">"},    {"<ab>", ""},
    {"<<a>>", "<"}, {"<ba>", "<b"}, {"<aa>", "a>b"}, {"<a<b>>", "<b><b>"},
};

void ExpectSameAsBlockOperations(const std::string& input, const Replacements& replacements) {
    const Outcome fast = Rewrite(input, replacements);
    const Outcome literal = RewriteByOperations(input, replacements);
    ASSERT_EQ(fast.text, literal.text) << "input: " << input;
    ASSERT_EQ(fast.changed, literal.changed) << "input: " << input;
}

TEST(RewriteBlocks, MatchesTheBlockOperationsOnEveryShortText) {
    Replacements withEmptyName = kTricky;
    withEmptyName[""] = "never inserted";
    const std::string alphabet = "<>ab";
    std::vector<std::string> texts = {""};
    for (std::size_t length = 1; length <= 8; ++length) {
        std::vector<std::string> longer;
        for (const std::string& text : texts) {
            if (text.size() + 1 != length)
                continue;
            for (const char c : alphabet)
                longer.push_back(text + c);
        }
        texts.insert(texts.end(), longer.begin(), longer.end());
    }
    for (const std::string& text : texts) {
        ExpectSameAsBlockOperations(text, kTricky);
        ExpectSameAsBlockOperations(text, withEmptyName);
    }
}

TEST(RewriteBlocks, MatchesTheBlockOperationsOnLongRandomTexts) {
    std::mt19937 random(20261209);
    const std::string alphabet = "<<>>abc";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<std::size_t> length(10, 60);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (std::size_t n = length(random); n > 0; --n)
            text += alphabet[pick(random)];
        ExpectSameAsBlockOperations(text, kTricky);
    }
}

TEST(RewriteBlocks, CountsItsPassesBeforeTheFirstReplacement) {
    // Two passes: the first inserts "<b>", the second resolves it; the original "<b>" stays.
    EXPECT_EQ(Rewrite("<a><b>", {{"<a>", "<b>"}, {"<b>", "x"}}).text, "x<b>");
    // An inserted stray ">" hides the block after it.
    EXPECT_EQ(Rewrite("<a><a>", {{"<a>", ">"}}).text, "><a>");
    // A block never closed after a replacement reaches the end of the text.
    EXPECT_EQ(Rewrite("<a><b><c", {{"<a>", "<"}, {"<<b><c", "all"}}).text, "all");
    EXPECT_FALSE(Rewrite("a<b>c<d>", {}).changed);
    EXPECT_FALSE(Rewrite("no blocks", {{"", "x"}}).changed);
}

// Rescanning from the start every pass would take minutes here; one walk takes milliseconds.
TEST(RewriteBlocks, ManyBlocksInLongTextsAreAllResolved) {
    std::string input;
    for (int i = 0; i < 3000; ++i)
        input += "<a>\\";
    for (int i = 0; i < 20000; ++i)
        input += "<n>";
    input += std::string(100000, 't');
    String text = input.c_str();
    // Each "<n>" inserts a new reference that the next pass resolves in front of a long tail.
    const Replacements replacements = {
        {"<a>", std::string(200, 'v')}, {"<n>", "<m>"}, {"<m>", "."}};
    EXPECT_TRUE(RewriteBlocks(text, '<', '>', From(replacements)));
    const std::string result = text.CStr();
    EXPECT_EQ(result.substr(3000 * 201, 10003), std::string(10000, '.') + "<n>");
    EXPECT_EQ(result.size(), 3000u * 201 + 10000 + 10000 * 3 + 100000);
}

TEST(RewriteBlocks, AValueStopsGrowingPastOneMebibyte) {
    String text = "<a>|<a>|<a>";
    const Replacements replacements = {{"<a>", std::string(400 * 1024, 'v')}};
    EXPECT_TRUE(RewriteBlocks(text, '<', '>', From(replacements)));
    const std::string expected =
        std::string(400 * 1024, 'v') + "|" + std::string(400 * 1024, 'v') + "|<a>";
    EXPECT_EQ(text.CStr(), expected);
}

}  // namespace
}  // namespace updater
