#include "settings/expansion.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "settings/block_rewriter.h"
#include "settings/function_calls.h"
#include "settings/symbol_table.h"

namespace updater {
namespace {

constexpr char kSeparator = '\\';
constexpr std::string_view kParent = "..";

std::vector<std::string_view> SplitItems(std::string_view text) {
    std::vector<std::string_view> items;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(kSeparator, start);
        items.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos)
            return items;
        start = end + 1;
    }
}

std::string JoinItems(const std::vector<std::string_view>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text.push_back(kSeparator);
        text.append(items[i]);
    }
    return text;
}

}  // namespace

bool ExpandSymbols(String& text) {
    return RewriteBlocks(text, '<', '>', LookupSymbol);
}

bool ExpandFunctions(String& text) {
    return RewriteBlocks(text, '{', '}', CallFunction);
}

bool FoldParentDirs(String& text) {
    if (text.CStr() == nullptr || std::strstr(text.CStr(), "\\..") == nullptr)
        return false;
    const std::vector<std::string_view> items = SplitItems(text.CStr());
    if (items.size() <= 2)
        return false;
    // Items 0 and 1 are never removed; once a fold reaches back to them, the rest stays as written.
    std::vector<std::string_view> kept(items.begin(), items.begin() + 2);
    std::size_t next = 2;
    bool changed = false;
    while (next < items.size()) {
        const std::string_view item = items[next++];
        if (item != kParent) {
            kept.push_back(item);
            continue;
        }
        kept.pop_back();
        changed = true;
        if (kept.size() < 2)
            break;
    }
    if (!changed)
        return false;
    kept.insert(kept.end(), items.begin() + static_cast<std::ptrdiff_t>(next), items.end());
    text = JoinItems(kept).c_str();
    return true;
}

void ExpandValue(String& text) {
    ExpandSymbols(text);
    ExpandFunctions(text);
    FoldParentDirs(text);
}

}  // namespace updater
