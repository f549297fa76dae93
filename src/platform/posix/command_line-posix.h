#pragma once

#include <string>
#include <vector>

// Linux hands a program its arguments one by one; the engine wants one command-line text, as
// Windows hands it to a program without its own name. Programs the engine starts go the other way.
namespace updater::platform::posix {

// The arguments joined with single spaces. An argument with a space and no double quote is put
// in double quotes, so that it stays one word; an empty argument becomes "" for the same reason.
// Other arguments are taken as they are.
std::string JoinCommandLine(const std::vector<std::string>& arguments);

// The same for the arguments of main, without the program's own name (argv[0]).
std::string JoinCommandLine(int argc, const char* const* argv);

// The arguments a Windows C program's startup code makes of a full command line, so that a
// program started from Linux receives what its Windows build would. The program's name comes
// first: double quotes in it only keep blanks inside it. Later arguments are separated by spaces
// and tabs; double quotes group, a quote inside quotes doubled ("") stands for one, a backslash
// escapes a double quote, and 2n backslashes before a double quote are n backslashes.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace updater::platform::posix
