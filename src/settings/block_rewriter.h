#pragma once

#include <functional>

#include "core/string.h"

namespace updater {

// Gives the text that replaces a block (markers included); false keeps the block.
using BlockResolver = std::function<bool(const String& block, String& replacement)>;

// Rewrites the outermost blocks between one-byte markers, with the results of
//     n := CountBlocks; i := 0; n times: if resolve(GetBlock(i)) ReplaceBlock(i) else i += 1
// and true when a resolver succeeded. Each pass resumes where the last one stopped instead of
// walking the text from its start, so the work grows with the text, not with the text times the
// number of blocks.
bool RewriteBlocks(String& text, char open, char close, const BlockResolver& resolve);

}  // namespace updater
