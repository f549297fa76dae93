#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/string.h"
#include "settings/block_rewriter.h"

// What the fuzz targets share: a temporary directory of their own, inputs written there as
// settings files, a process that never shows a box, and the way a broken property is reported.
namespace updater::fuzz {

// The process's own directory below $TMPDIR, removed at exit; nothing is written elsewhere.
const std::string& TemporaryArea();

// Writes `data` to `name` in the temporary directory and returns its path as the engine writes
// paths. Each write stamps the file with a modification time of its own, so that the settings
// reader, which keeps parsed files until their stamp changes, always reads this input.
std::string WriteInput(const std::string& name, const uint8_t* data, size_t size);

// Unattended with no answers, no run log, and a home directory inside the temporary directory:
// every run takes the same path whatever the machine and its environment.
void SetUpQuietProcess();

// The rewrite that RewriteBlocks stands for, spelled with the block operations of String, which
// rescan the text at every pass. False, with `text` left half done, once the text grows beyond
// `giveUpLength`: the spelled-out rewrite is too slow for long texts.
bool RewriteByBlockOperations(String& text, char open, char close, const BlockResolver& resolve,
                              bool& changed, size_t giveUpLength = SIZE_MAX);

// Stops the run as a finding when a property of the program does not hold.
void Require(bool holds, const char* property);

}  // namespace updater::fuzz
