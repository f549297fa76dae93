#pragma once

#include <string>
#include <vector>

// Linux hands a program its arguments one by one; the engine wants one command-line text, as
// Windows hands it to a program without its own name.
namespace updater::platform::posix {

// The arguments joined with single spaces. An argument with a space and no double quote is put
// in double quotes, so that it stays one word; an empty argument becomes "" for the same reason.
// Other arguments are taken as they are.
std::string JoinCommandLine(const std::vector<std::string>& arguments);

// The same for the arguments of main, without the program's own name (argv[0]).
std::string JoinCommandLine(int argc, const char* const* argv);

}  // namespace updater::platform::posix
