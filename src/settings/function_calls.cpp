#include "settings/function_calls.h"

#include "core/system_queries.h"
#include "settings/process_values.h"
#include "settings/registry_key.h"

namespace updater {
namespace {

constexpr const char* kItemDelimiter = "\\";
constexpr const char* kWordSeparator = ", ";
constexpr int kRangeItems = 3;  // ?Param, first, last
constexpr long long kMaxRangeWords = 1024;

bool RegisteredProgram(const String& name, String& result) {
    String path;
    if (!LookupAppPath(name.CStr(), path, true))
        return false;
    result = path;
    return true;
}

bool RegisteredDirectory(const String& name, String& result) {
    String directory;
    if (!LookupAppPath(name.CStr(), directory, false))
        return false;
    // Backslashes first: a registered "C:\Tool\;" keeps the backslash before its ";".
    directory.Trim("", "\\");
    directory.Trim("", ";");
    result = directory;
    return true;
}

bool SpecialFolder(const String& id, String& result) {
    String folder;
    if (!GetSpecialFolder(nullptr, folder, id.HexToInt()))
        return false;
    folder.Trim("", "\\");
    result = folder;
    return true;
}

// A negative index counts from the end, -1 being the last word.
int FromEnd(int index, int count) {
    return index < 0 ? index + count : index;
}

String CommandWord(int index) {
    const int count = CommandLine.CountWords();
    index = FromEnd(index, count);
    return index >= 0 && index < count ? CommandLine.GetWord(index) : String();
}

// Words `first` to `last` joined by ", ": negative indexes count from the end, and a word that
// does not exist adds an empty word. A range is cut after kMaxRangeWords words, far beyond any
// command line, so that an index such as 99999999 cannot build a text of hundreds of megabytes.
String CommandWords(int first, int last) {
    const int count = CommandLine.CountWords();
    const long long from = first < 0 ? static_cast<long long>(first) + count : first;
    const long long to = last < 0 ? static_cast<long long>(last) + count : last;
    String words;
    for (long long index = from; index <= to && index - from < kMaxRangeWords; ++index) {
        if (index > from)
            words.Append(kWordSeparator);
        words.Append(CommandLine.GetWord(static_cast<int>(index)));
    }
    return words;
}

void CommandParameters(String& call, String& result) {
    if (call.CountTokens(kItemDelimiter) == kRangeItems) {
        result = CommandWords(call.GetToken(1, kItemDelimiter).ToInt(),
                              call.GetToken(2, kItemDelimiter).ToInt());
    } else {
        result = CommandWord(call.GetToken(1, kItemDelimiter).ToInt());
    }
}

}  // namespace

bool CallFunction(const String& block, String& result) {
    String call = block;
    call.Trim("{", "}");
    const String name = call.GetToken(0, kItemDelimiter);
    const String argument = call.GetToken(1, kItemDelimiter);
    if (name.EqualsNoCase("?App"))
        return RegisteredProgram(argument, result);
    if (name.EqualsNoCase("?AppPath"))
        return RegisteredDirectory(argument, result);
    if (name.EqualsNoCase("?SpFolder"))
        return SpecialFolder(argument, result);
    if (name.EqualsNoCase("?Param")) {
        CommandParameters(call, result);
        return true;
    }
    return false;
}

}  // namespace updater
