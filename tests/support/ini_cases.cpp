#include "support/ini_cases.h"

#include <fstream>

namespace updater::testing {
namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

std::optional<char> Unescape(char c) {
    switch (c) {
        case '"':
        case '\\':
            return c;
        case 't':
            return '\t';
        case 'v':
            return '\v';
        case 'r':
            return '\r';
        case 'n':
            return '\n';
        default:
            return std::nullopt;
    }
}

// Reads one quoted text starting at the opening quote; `at` ends after the closing quote.
std::optional<std::string> ReadQuoted(const std::string& line, size_t& at) {
    std::string text;
    for (++at; at < line.size() && line[at] != '"'; ++at) {
        if (line[at] != '\\') {
            text += line[at];
            continue;
        }
        const std::optional<char> escaped =
            at + 1 < line.size() ? Unescape(line[++at]) : std::nullopt;
        if (!escaped)
            return std::nullopt;
        text += *escaped;
    }
    if (at >= line.size())
        return std::nullopt;  // no closing quote
    ++at;
    return text;
}

// Splits an expectation line into words and quoted texts; nothing on a malformed text.
std::optional<std::vector<Token>> Tokenize(const std::string& line) {
    std::vector<Token> tokens;
    size_t at = 0;
    while ((at = line.find_first_not_of(' ', at)) != std::string::npos) {
        if (line[at] == '"') {
            std::optional<std::string> text = ReadQuoted(line, at);
            if (!text)
                return std::nullopt;
            tokens.push_back({*text, true});
        } else {
            const size_t end = line.find(' ', at);
            tokens.push_back({line.substr(at, end - at), false});
            at = end;
        }
    }
    return tokens;
}

bool IsArrow(const Token& token) {
    return !token.quoted && token.text == "=>";
}

bool ParseValueCase(const std::vector<Token>& t, IniCase& c) {
    if (t.size() != 8 || !t[2].quoted || !t[3].quoted || !t[4].quoted || !IsArrow(t[6]) ||
        !t[7].quoted)
        return false;
    c.kind = "value";
    c.file = t[1].text;
    c.section = t[2].text;
    c.key = t[3].text;
    c.fallback = t[4].text;
    c.capacity = static_cast<unsigned>(std::stoul(t[5].text));
    c.expected = {t[7].text};
    return true;
}

bool ParseSectionCase(const std::vector<Token>& t, IniCase& c) {
    if (t.size() < 5 || !t[2].quoted || !IsArrow(t[4]))
        return false;
    c.kind = "section";
    c.file = t[1].text;
    c.section = t[2].text;
    c.capacity = static_cast<unsigned>(std::stoul(t[3].text));
    for (size_t i = 5; i < t.size(); ++i) {
        if (!t[i].quoted)
            return false;
        c.expected.push_back(t[i].text);
    }
    return true;
}

}  // namespace

std::optional<IniCase> ParseIniCase(const std::string& raw, int lineNumber) {
    std::string line = raw;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.find_first_not_of(' ') == std::string::npos || line[0] == '#')
        return std::nullopt;
    IniCase c;
    c.lineNumber = lineNumber;
    const std::optional<std::vector<Token>> tokens = Tokenize(line);
    const bool parsed = tokens && !tokens->empty() &&
                        (((*tokens)[0].text == "value" && ParseValueCase(*tokens, c)) ||
                         ((*tokens)[0].text == "section" && ParseSectionCase(*tokens, c)));
    if (!parsed)
        c = IniCase{lineNumber, "", "", "", "", "", 0, {line}};
    return c;
}

std::vector<IniCase> LoadIniCases(const std::string& expectationsFile) {
    std::ifstream in(expectationsFile);
    std::vector<IniCase> cases;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        if (std::optional<IniCase> c = ParseIniCase(line, ++number))
            cases.push_back(*c);
    }
    return cases;
}

}  // namespace updater::testing
