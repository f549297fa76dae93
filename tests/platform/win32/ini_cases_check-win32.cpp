// Runs the shared settings-reader cases of tests/platform/ini_cases against the Windows reader,
// through the Win32 backend, so that both backends are held to the same answers.
//
//     ini_cases_check DIRECTORY
//
// DIRECTORY holds expectations.txt and the files it names. Prints one line per mismatch and a
// summary, and exits with 1 when a case fails or the expectations cannot be read.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "support/ini_cases.h"

namespace {

using Lines = std::vector<std::string>;
using updater::testing::IniCase;

Lines Answer(const IniCase& c, const std::string& directory) {
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
    const std::string file = directory + "\\expectations.txt";
    if (!std::ifstream(file)) {
        std::cerr << "cannot read " << file << "\n";
        return 1;
    }
    int passed = 0;
    int failed = 0;
    for (const IniCase& c : updater::testing::LoadIniCases(file)) {
        const bool readable = !c.kind.empty();
        const Lines answer = readable ? Answer(c, directory) : Lines{};
        if (readable && answer == c.expected) {
            ++passed;
            continue;
        }
        ++failed;
        std::cout << "expectations.txt:" << c.lineNumber << ": "
                  << (readable ? "got" + Show(answer) + "\n  expected" + Show(c.expected)
                               : "cannot parse \"" + c.expected[0] + "\"")
                  << '\n';
    }
    std::cout << "ini_cases: " << passed << " passed, " << failed << " failed" << std::endl;
    return failed == 0 && passed > 0 ? 0 : 1;
}
