// Runs the shared settings-reader cases of tests/platform/ini_cases against the Windows reader,
// through the Win32 backend, so that both backends are held to the same answers.
//
//     ini_cases_check DIRECTORY
//
// DIRECTORY holds expectations.txt and the files it names. Prints one line per mismatch and a
// summary, and exits with 1 when a case fails or the expectations cannot be read.
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/profile.h"

namespace {

using Lines = std::vector<std::string>;

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
        if (!escaped) {
            return std::nullopt;
        }
        text += *escaped;
    }
    if (at >= line.size()) {
        return std::nullopt;
    }
    ++at;
    return text;
}

std::optional<std::vector<Token>> Tokenize(const std::string& line) {
    std::vector<Token> tokens;
    size_t at = 0;
    while ((at = line.find_first_not_of(' ', at)) != std::string::npos) {
        if (line[at] == '"') {
            std::optional<std::string> text = ReadQuoted(line, at);
            if (!text) {
                return std::nullopt;
            }
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

struct Case {
    std::string kind, file, section, key, fallback;
    unsigned capacity = 0;
    Lines expected;
};

std::optional<Case> ParseValueCase(const std::vector<Token>& t) {
    if (t.size() != 8 || !t[2].quoted || !t[3].quoted || !t[4].quoted || !IsArrow(t[6]) ||
        !t[7].quoted) {
        return std::nullopt;
    }
    return Case{"value",    t[1].text, t[2].text,
                t[3].text,  t[4].text, static_cast<unsigned>(std::stoul(t[5].text)),
                {t[7].text}};
}

std::optional<Case> ParseSectionCase(const std::vector<Token>& t) {
    if (t.size() < 5 || !t[2].quoted || !IsArrow(t[4])) {
        return std::nullopt;
    }
    Case c{"section", t[1].text, t[2].text, "", "", static_cast<unsigned>(std::stoul(t[3].text)),
           {}};
    for (size_t i = 5; i < t.size(); ++i) {
        if (!t[i].quoted) {
            return std::nullopt;
        }
        c.expected.push_back(t[i].text);
    }
    return c;
}

std::optional<Case> ParseCase(const std::string& line) {
    const std::optional<std::vector<Token>> tokens = Tokenize(line);
    if (!tokens || tokens->empty()) {
        return std::nullopt;
    }
    if ((*tokens)[0].text == "value") {
        return ParseValueCase(*tokens);
    }
    if ((*tokens)[0].text == "section") {
        return ParseSectionCase(*tokens);
    }
    return std::nullopt;
}

Lines Answer(const Case& c, const std::string& directory) {
    const std::string file = directory + "\\" + c.file;
    if (c.kind == "value") {
        return {
            updater::platform::ReadProfileString(file, c.section, c.key, c.fallback, c.capacity)};
    }
    return updater::platform::ReadProfileSection(file, c.section, c.capacity);
}

std::string Show(const Lines& lines) {
    std::ostringstream out;
    for (const std::string& line : lines) {
        out << " \"" << line << '"';
    }
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: ini_cases_check DIRECTORY\n";
        return 2;
    }
    const std::string directory = argv[1];
    std::ifstream expectations(directory + "\\expectations.txt");
    if (!expectations) {
        std::cerr << "cannot read " << directory << "\\expectations.txt\n";
        return 1;
    }
    int passed = 0;
    int failed = 0;
    int lineNumber = 0;
    for (std::string line; std::getline(expectations, line);) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find_first_not_of(' ') == std::string::npos || line[0] == '#') {
            continue;
        }
        const std::optional<Case> c = ParseCase(line);
        const Lines answer = c ? Answer(*c, directory) : Lines{};
        if (c && answer == c->expected) {
            ++passed;
            continue;
        }
        ++failed;
        std::cout << "expectations.txt:" << lineNumber << ": "
                  << (c ? "got" + Show(answer) : std::string("cannot parse")) << "\n  " << line
                  << '\n';
    }
    std::cout << "ini_cases: " << passed << " passed, " << failed << " failed" << std::endl;
    return failed == 0 && passed > 0 ? 0 : 1;
}
