#include "platform/posix/command_line-posix.h"

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

}  // namespace updater::platform::posix
