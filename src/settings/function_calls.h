#pragma once

#include "core/string.h"

namespace updater {

// The result of one function call of a value, given as its brace block ("{?App\tool.exe}"): the
// call's name and arguments are the items of the block's contents split at the backslash. False,
// `result` unchanged, when the block names no function or its lookup fails.
//   ?App\name      the registered full path of the program
//   ?AppPath\name  the registered directory of the program, without trailing "\" and then ";"
//   ?SpFolder\0x1a the path of a shell special folder, without trailing "\"
//   ?Param\i       word i of the command line; ?Param\i\j words i to j joined by ", "
bool CallFunction(const String& block, String& result);

}  // namespace updater
