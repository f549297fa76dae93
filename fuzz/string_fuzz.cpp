// The text parsing of String: words, items, blocks and numbers, each held against a plain model
// of what its contract says, and the block rewriter against the block operations it stands for.
// The first byte picks the family, the next bytes its numbers and markers, the rest is the text.

#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/numbers.h"
#include "core/string.h"
#include "fuzz_support.h"
#include "settings/block_rewriter.h"

namespace {

using updater::String;
using updater::fuzz::Require;
using Pieces = std::vector<std::string>;

// A piece number: mostly near the pieces there are, sometimes at the ends of int.
int PieceNumber(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 15)) {
        case 0:
            return INT_MIN;
        case 1:
            return INT_MAX;
        default:
            return in.ConsumeIntegralInRange(-10, 10);
    }
}

// A marker or delimiter: never empty, as the callers never pass one.
std::string Marker(FuzzedDataProvider& in) {
    const std::string marker = in.ConsumeRandomLengthString(3).c_str();
    return marker.empty() ? "," : marker;
}

std::string Joined(const Pieces& pieces, std::size_t from, std::size_t to,
                   const std::string& separator) {
    std::string text;
    for (std::size_t i = from; i <= to; ++i)
        text += (i > from ? separator : "") + pieces[i];
    return text;
}

// Items: the text cut at every delimiter, searched left to right.
Pieces SplitItems(const std::string& text, const std::string& delimiter) {
    Pieces items;
    std::size_t start = 0;
    for (std::size_t hit; (hit = text.find(delimiter, start)) != std::string::npos;
         start = hit + delimiter.size())
        items.push_back(text.substr(start, hit - start));
    items.push_back(text.substr(start));
    return items;
}

// Words: the text cut at every space that follows an even number of double quotes.
Pieces SplitWords(const std::string& text) {
    Pieces words(1);
    bool quoted = false;
    for (const char c : text) {
        if (c == ' ' && !quoted) {
            words.emplace_back();
            continue;
        }
        quoted = quoted != (c == '"');
        words.back() += c;
    }
    return words;
}

// What a range gives and what replacing it leaves, by the model, for a range that starts at a
// piece that exists; `to` beyond the last piece reaches the end. False for other ranges.
bool ModelRange(const Pieces& pieces, const std::string& separator, int from, int to, bool words,
                const std::string& s, std::string& got, std::string& replaced) {
    const int count = static_cast<int>(pieces.size());
    if (from < 0)
        from += count;
    if (to < 0)
        to += count;
    if (from < 0 || from >= count || to < 0)
        return false;
    if (to < from) {
        got.clear();
        replaced = Joined(pieces, 0, pieces.size() - 1, separator);
        return true;
    }
    const auto first = static_cast<std::size_t>(from);
    const auto last = static_cast<std::size_t>(to < count ? to : count - 1);
    got = Joined(pieces, first, last, separator);
    std::string middle = s;
    // A single word in quotes comes out without them, and is replaced inside them.
    if (words && from == to && !got.empty() && got.front() == '"' && got.back() == '"') {
        got = got.size() > 1 ? got.substr(1, got.size() - 2) : "";
        middle = "\"" + s + "\"";
    }
    replaced = (first > 0 ? Joined(pieces, 0, first - 1, separator) + separator : "") + middle +
               (last + 1 < pieces.size()
                    ? separator + Joined(pieces, last + 1, pieces.size() - 1, separator)
                    : "");
    return true;
}

void CheckWords(FuzzedDataProvider& in) {
    const int from = PieceNumber(in);
    const int to = PieceNumber(in);
    const std::string s = in.ConsumeRandomLengthString(8).c_str();
    const std::string text = in.ConsumeRemainingBytesAsString().c_str();
    String words = text.c_str();
    const Pieces model = SplitWords(text);
    Require(words.CountWords() == (text.empty() ? 0 : static_cast<int>(model.size())),
            "CountWords counts the separating spaces");
    const String got = words.GetWords(from, to);
    words.ReplaceWords(from, to, s.c_str());
    std::string modelGot, modelReplaced;
    if (!text.empty() && ModelRange(model, " ", from, to, true, s, modelGot, modelReplaced)) {
        Require(modelGot == got.CStr(), "GetWords gives the words of the range");
        Require(modelReplaced == words.CStr(), "ReplaceWords replaces the words of the range");
    }
}

void CheckItems(FuzzedDataProvider& in) {
    const int from = PieceNumber(in);
    const int to = PieceNumber(in);
    const std::string delimiter = Marker(in);
    const std::string s = in.ConsumeRandomLengthString(8).c_str();
    const std::string text = in.ConsumeRemainingBytesAsString().c_str();
    String items = text.c_str();
    const Pieces model = SplitItems(text, delimiter);
    Require(
        items.CountTokens(delimiter.c_str()) == (text.empty() ? 0 : static_cast<int>(model.size())),
        "CountTokens counts the delimiters");
    const String got = items.GetTokens(from, to, delimiter.c_str());
    items.ReplaceTokens(from, to, delimiter.c_str(), s.c_str());
    std::string modelGot, modelReplaced;
    if (!text.empty() &&
        ModelRange(model, delimiter, from, to, false, s, modelGot, modelReplaced)) {
        Require(modelGot == got.CStr(), "GetTokens gives the items of the range");
        Require(modelReplaced == items.CStr(), "ReplaceTokens replaces the items of the range");
    }
}

// Blocks have no model simpler than their walk; what each counted block looks like must hold.
void CheckBlocks(FuzzedDataProvider& in) {
    const int from = PieceNumber(in);
    const int to = PieceNumber(in);
    const std::string open = Marker(in);
    const std::string close = Marker(in);
    const std::string s = in.ConsumeRandomLengthString(8).c_str();
    String blocks = in.ConsumeRemainingBytesAsString().c_str();
    const int count = blocks.CountBlocks(open.c_str(), close.c_str());
    for (int i = 0; i < count && i < 16; ++i) {
        const std::string block = blocks.GetBlock(i, open.c_str(), close.c_str()).CStr();
        Require(block.size() >= open.size() + close.size() && block.rfind(open, 0) == 0 &&
                    block.compare(block.size() - close.size(), close.size(), close) == 0,
                "a counted block runs from an opening to a closing marker");
    }
    blocks.GetBlocks(from, to, open.c_str(), close.c_str());
    blocks.ReplaceBlocks(from, to, open.c_str(), close.c_str(), s.c_str());
}

// The rewriter promises the result of its loop spelled with the block operations.
void CheckRewrite(FuzzedDataProvider& in) {
    static const char kMarkers[] = "<>{}\\a";
    const auto openAt = in.ConsumeIntegralInRange<std::size_t>(0, 5);
    const char open = kMarkers[openAt];
    const char close = kMarkers[(openAt + in.ConsumeIntegralInRange<std::size_t>(1, 5)) % 6];
    const std::size_t modulus = in.ConsumeIntegralInRange<std::size_t>(1, 4);
    Pieces replacements;
    for (std::size_t i = 0; i < modulus; ++i)
        replacements.push_back(in.ConsumeRandomLengthString(6).c_str());
    // Blocks of some lengths are kept; the others take a replacement by their length.
    const updater::BlockResolver resolve = [&](const String& block, String& replacement) {
        const auto length = static_cast<std::size_t>(block.GetLength());
        if (length % (modulus + 1) == modulus)
            return false;
        replacement = replacements[length % modulus].c_str();
        return true;
    };
    const std::string text = in.ConsumeRemainingBytesAsString().c_str();
    String fast = text.c_str();
    const bool fastChanged = updater::RewriteBlocks(fast, open, close, resolve);
    String literal = text.c_str();
    bool literalChanged = false;
    updater::fuzz::RewriteByBlockOperations(literal, open, close, resolve, literalChanged);
    Require(std::string(fast.CStr()) == literal.CStr() && fastChanged == literalChanged,
            "RewriteBlocks does what its loop of block operations does");
}

// Numbers by hand: white space, a sign, digits; too large a number is clamped.
void CheckNumbers(FuzzedDataProvider& in) {
    const std::string text = in.ConsumeRemainingBytesAsString().c_str();
    std::size_t at = text.find_first_not_of(" \t\n\v\f\r");
    at = at == std::string::npos ? text.size() : at;
    const bool negative = at < text.size() && text[at] == '-';
    at += at < text.size() && (text[at] == '-' || text[at] == '+') ? 1 : 0;
    long long magnitude = 0;
    const std::size_t digits = at;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        magnitude = magnitude > INT_MAX ? magnitude : magnitude * 10 + (text[at] - '0');
    const long long expected = negative ? -magnitude : magnitude;
    int value = 7;
    const bool read = updater::ParseDecimal(text.c_str(), value);
    Require(read == (at > digits), "ParseDecimal reads a number exactly when a digit comes");
    Require(!read || value == (expected < INT_MIN   ? INT_MIN
                               : expected > INT_MAX ? INT_MAX
                                                    : static_cast<int>(expected)),
            "ParseDecimal gives the number, clamped to int");
    Require(read || value == 7, "ParseDecimal leaves the value when there is no number");

    // Hexadecimal: only the plain form "0x" and digits is modelled; the library's reader takes
    // a few more (blanks, a sign or a second "0x" after the prefix) as sscanf's "0x%x" does.
    const auto isHex = [&text](std::size_t i) {
        return i < text.size() &&
               std::string("0123456789abcdefABCDEF").find(text[i]) != std::string::npos;
    };
    unsigned long long hex = 0;
    std::size_t end = 2;
    for (; isHex(end); ++end)
        hex = hex > UINT_MAX ? hex : hex * 16 + std::stoull(text.substr(end, 1), nullptr, 16);
    unsigned hexValue = 7;
    const bool hexRead = updater::ParseHex(text.c_str(), hexValue);
    if (text.rfind("0x", 0) != 0)
        Require(!hexRead && hexValue == 7, "ParseHex reads nothing without the 0x prefix");
    else if (end > 2 &&
             !(text[2] == '0' && end == 3 && text.size() > 3 && (text[3] == 'x' || text[3] == 'X')))
        Require(hexRead && hexValue == (hex > UINT_MAX ? UINT_MAX : static_cast<unsigned>(hex)),
                "ParseHex gives the number, 0xFFFFFFFF when it is larger");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange(0, 4)) {
        case 0:
            CheckWords(in);
            break;
        case 1:
            CheckItems(in);
            break;
        case 2:
            CheckBlocks(in);
            break;
        case 3:
            CheckRewrite(in);
            break;
        default:
            CheckNumbers(in);
            break;
    }
    return 0;
}
