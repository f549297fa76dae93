#pragma once

#include <optional>
#include <string>
#include <vector>

// The shared settings-reader cases of tests/platform/ini_cases: one expectation a line, held
// against the Linux reader by its unit test and against the Windows reader by ini_cases_check.
//
//     value FILE "section" "key" "fallback" CAPACITY => "expected"
//     section FILE "section" CAPACITY => "line" "line" ...
//
// Quoted texts take the escapes \" \\ \t \v \r \n; lines starting with "#" are comments.
namespace updater::testing {

struct IniCase {
    int lineNumber = 0;
    std::string kind;  // "value" or "section"
    std::string file, section, key, fallback;
    unsigned capacity = 0;
    std::vector<std::string> expected;
};

// One line of the expectations: nothing for a blank or comment line; for a line that cannot be
// read, a case whose kind is empty and whose expected text is the line itself.
std::optional<IniCase> ParseIniCase(const std::string& line, int lineNumber);

// Every line of the expectations file, comments and blank lines left out.
std::vector<IniCase> LoadIniCases(const std::string& expectationsFile);

}  // namespace updater::testing
