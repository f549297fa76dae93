#include "platform/posix/internal-posix.h"

namespace updater::platform::posix {
namespace {

std::string QuotedIfNeeded(const std::string& argument) {
    bool hasSpace = argument.find(' ') != std::string::npos;
    bool hasQuote = argument.find('"') != std::string::npos;
    if (argument.empty() || (hasSpace && !hasQuote)) {
        return '"' + argument + '"';
    }
    return argument;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Moves `p` past the program's name and returns the name.
std::string ProgramName(const char*& p) {
    std::string name;
    bool quoted = false;
    for (; *p != '\0'; ++p) {
        if (*p == '"') {
            quoted = !quoted;
        } else if (!quoted && IsBlank(*p)) {
            break;
        } else {
            name += *p;
        }
    }
    return name;
}

// Moves `p` past one later argument and returns it.
std::string Argument(const char*& p) {
    std::string argument;
    bool quoted = false;
    for (;;) {
        size_t backslashes = 0;
        for (; *p == '\\'; ++p) {
            ++backslashes;
        }
        bool copy = true;
        if (*p == '"') {
            if (backslashes % 2 == 0) {
                if (quoted && p[1] == '"') {
                    ++p;
                } else {
                    copy = false;
                    quoted = !quoted;
                }
            }
            backslashes /= 2;
        }
        argument.append(backslashes, '\\');
        if (*p == '\0' || (!quoted && IsBlank(*p))) {
            return argument;
        }
        if (copy) {
            argument += *p;
        }
        ++p;
    }
}

}  // namespace

std::string JoinCommandLine(const std::vector<std::string>& arguments) {
    std::string commandLine;
    for (const std::string& argument : arguments) {
        if (!commandLine.empty()) {
            commandLine += ' ';
        }
        commandLine += QuotedIfNeeded(argument);
    }
    return commandLine;
}

std::string JoinCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return JoinCommandLine(arguments);
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> arguments;
    const char* p = commandLine.c_str();
    if (*p == '\0') {
        return arguments;
    }
    arguments.push_back(ProgramName(p));
    for (;;) {
        while (IsBlank(*p)) {
            ++p;
        }
        if (*p == '\0') {
            return arguments;
        }
        arguments.push_back(Argument(p));
    }
}

}  // namespace updater::platform::posix
