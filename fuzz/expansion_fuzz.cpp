// Expansion of settings values: the input is a settings file whose [DEFINE] section fills the
// symbol table, whose [EXPAND] lines are the values expanded, whose "ARGS" key there is the
// command line ?Param reads, and which also stands for the registry that ?App and ?AppPath ask.
// The symbols, the calls and the ".." folding are each held against the plain algorithm they
// stand for.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/startup.h"
#include "fuzz_support.h"
#include "settings/expansion.h"
#include "settings/function_calls.h"
#include "settings/process_values.h"
#include "settings/profile_reader.h"
#include "settings/symbol_table.h"

namespace {

using updater::String;
using updater::fuzz::Require;

constexpr const char* kParent = "..";
constexpr std::size_t kLongestCompared = 1 << 16;

// The fold as the settings format describes it, item by item with the item operations: each ".."
// item from item 2 on takes the item before it away, until a fold reaches item 1.
bool FoldByItemOperations(String& text) {
    if (text.CountOf("\\..") == 0)
        return false;
    const int steps = text.CountTokens("\\") - 2;
    bool changed = false;
    for (int step = 0, item = 2; step < steps; ++step) {
        if (std::string(text.GetToken(item, "\\").CStr()) != kParent) {
            ++item;
            continue;
        }
        text.ReplaceTokens(item - 2, item, "\\", text.GetToken(item - 2, "\\").CStr());
        changed = true;
        if (--item < 2)
            break;
    }
    return changed;
}

void CheckRewrite(const String& value, char open, char close, bool (*rewrite)(String&),
                  const updater::BlockResolver& resolve, const char* property) {
    String fast = value;
    const bool fastChanged = rewrite(fast);
    String literal = value;
    bool literalChanged = false;
    if (updater::fuzz::RewriteByBlockOperations(literal, open, close, resolve, literalChanged,
                                                kLongestCompared))
        Require(std::string(fast.CStr()) == literal.CStr() && fastChanged == literalChanged,
                property);
}

void CheckValue(const String& value) {
    CheckRewrite(value, '<', '>', updater::ExpandSymbols, updater::LookupSymbol,
                 "symbols resolve as the block operations resolve them");
    CheckRewrite(value, '{', '}', updater::ExpandFunctions, updater::CallFunction,
                 "calls resolve as the block operations resolve them");
    String fast = value;
    String literal = value;
    Require(updater::FoldParentDirs(fast) == FoldByItemOperations(literal) &&
                std::string(fast.CStr()) == literal.CStr(),
            "\"..\" folds as the item operations fold it");
    String whole = value;
    updater::ExpandValue(whole);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    updater::fuzz::SetUpQuietProcess();
    setenv("UPDATER_REGISTRY", (updater::fuzz::TemporaryArea() + "/setup.ini").c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string script = updater::fuzz::WriteInput("setup.ini", data, size);
    updater::SettingsPath = script.c_str();
    updater::ModulePath = "\\opt\\tool\\setup";
    updater::CommandLine = "";
    updater::ReadProfileText(updater::SettingsPath, "EXPAND", "ARGS", updater::CommandLine);
    updater::InitSymbols();

    String lines;
    const int count = updater::ReadSection(updater::SettingsPath, "EXPAND", lines);
    for (int i = 0; i < count; ++i) {
        String line = lines.GetToken(i, "\n");
        CheckValue(line.GetTokens(line.CountTokens("=") > 1 ? 1 : 0, -1, "="));
    }
    return 0;
}
