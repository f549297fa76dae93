#include "settings/symbol_table.h"

#include <cstring>
#include <string>
#include <vector>

#include "settings/expansion.h"
#include "settings/profile_reader.h"

namespace updater {
namespace {

constexpr const char* kDefineSection = "DEFINE";

// One line of the table, kept apart so that a lookup compares names instead of re-splitting a
// joined text. A line written without "=" has an empty value that nothing replaces.
struct Symbol {
    String name;
    String value;
    bool hasValue;
};

std::vector<Symbol>& Table() {
    static std::vector<Symbol> table;
    return table;
}

// A [DEFINE] line: the name before its first "=", the value up to its second "=".
Symbol ParseLine(const char* line, const char* end) {
    const char* equals = static_cast<const char*>(std::memchr(line, '=', end - line));
    if (equals == nullptr)
        return {String(std::string(line, end).c_str()), String(), false};
    const char* valueEnd = static_cast<const char*>(std::memchr(equals + 1, '=', end - equals - 1));
    return {String(std::string(line, equals).c_str()),
            String(std::string(equals + 1, valueEnd != nullptr ? valueEnd : end).c_str()), true};
}

Symbol* FindSymbol(const String& name) {
    for (Symbol& symbol : Table()) {
        if (symbol.name.EqualsNoCase(name))
            return &symbol;
    }
    return nullptr;
}

}  // namespace

int ReadDefinitions(const String& file) {
    String lines;
    const int count = ReadSection(file, kDefineSection, lines);
    const char* line = lines.CStr() != nullptr ? lines.CStr() : "";
    for (int i = 0; i < count; ++i) {
        const char* end = std::strchr(line, '\n');
        if (end == nullptr)
            end = line + std::strlen(line);
        Table().push_back(ParseLine(line, end));
        line = *end != '\0' ? end + 1 : end;
    }
    return count;
}

void SetSymbol(const char* name, const char* value) {
    if (Symbol* symbol = FindSymbol(name)) {
        if (symbol->hasValue)
            symbol->value = value;
        return;
    }
    Table().push_back({String(name), String(value), true});
}

bool LookupSymbol(const String& name, String& out) {
    const Symbol* symbol = FindSymbol(name);
    if (symbol == nullptr)
        return false;
    out = symbol->value;
    return true;
}

void ExpandDefinitions() {
    // By index: a value may look up any entry, itself included, while it is being expanded.
    for (std::size_t i = 0; i < Table().size(); ++i) {
        String value = Table()[i].value;
        const bool symbols = ExpandSymbols(value);
        const bool functions = ExpandFunctions(value);
        const bool folded = FoldParentDirs(value);
        if ((symbols || functions || folded) && Table()[i].hasValue)
            Table()[i].value = value;
    }
}

void ClearSymbols() {
    Table().clear();
}

}  // namespace updater
