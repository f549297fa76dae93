#include "platform/posix/ini_file-posix.h"

#include "platform/posix/utf8_text-posix.h"

namespace updater::platform::posix {

namespace {

// Blanks around names, values and whole lines; Windows trims vertical tabs too.
constexpr std::string_view kBlanks = " \t\v";
constexpr std::string_view kLineEnds = "\r\n";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

std::string_view TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

// The next line of `rest` without its ending (CR LF, CR or LF); `rest` moves past it.
std::string_view TakeLine(std::string_view& rest) {
    const std::size_t end = rest.find_first_of(kLineEnds);
    const std::string_view line = rest.substr(0, end);
    if (end == std::string_view::npos) {
        rest = {};
        return line;
    }
    const bool crlf = rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n';
    rest.remove_prefix(end + (crlf ? 2 : 1));
    return line;
}

// The name in a header line: after "[" up to the first "]", or to the end without one.
std::string_view SectionName(std::string_view header) {
    header.remove_prefix(1);
    return TrimBlanks(header.substr(0, header.find(']')));
}

}  // namespace

std::string_view StripOuterQuotes(std::string_view value) {
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    return quoted ? value.substr(1, value.size() - 2) : value;
}

std::string FoldCase(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

void IniSection::AddLine(std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        lines_.emplace_back(line);
        return;
    }
    const std::string_view key = TrimBlanks(line.substr(0, equals));
    const std::string_view value = TrimBlanks(line.substr(equals + 1));
    std::string entry;
    entry.reserve(key.size() + 1 + value.size());
    entry.append(key).append(1, '=').append(value);
    // A comment stays a line of the block but can never be looked up; emplace keeps the first key.
    if (line.front() != ';')
        lineOfKey_.emplace(FoldCase(key), lines_.size());
    lines_.push_back(std::move(entry));
}

std::optional<std::string_view> IniSection::FindValue(std::string_view key) const {
    const auto found = lineOfKey_.find(FoldCase(key));
    if (found == lineOfKey_.end())
        return std::nullopt;
    // A key never holds "=", so the first one in its line is the separator.
    const std::string_view line = lines_[found->second];
    return line.substr(line.find('=') + 1);
}

IniFile::IniFile(std::string_view text) {
    // Scripts saved as UTF-16 read the same on Windows in any language; decoded up front, their
    // lines end and trim exactly as UTF-8 text does.
    std::string decoded;
    if (text.substr(0, kUtf16LeBom.size()) == kUtf16LeBom) {
        decoded = Utf16LeToUtf8(text.substr(kUtf16LeBom.size()));
        text = decoded;
    } else if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        text.remove_prefix(kUtf8Bom.size());
    }
    std::size_t current = kNoSection;  // also while inside a repeated block
    while (!text.empty()) {
        const std::string_view line = TrimBlanks(TakeLine(text));
        if (line.empty())
            continue;
        if (line.front() == '[') {
            current = OpenSection(SectionName(line));
        } else if (current != kNoSection) {
            sections_[current].AddLine(line);
        }
    }
}

const IniSection* IniFile::FindSection(std::string_view name) const {
    const auto found = sectionOfName_.find(FoldCase(name));
    return found == sectionOfName_.end() ? nullptr : &sections_[found->second];
}

std::size_t IniFile::OpenSection(std::string_view name) {
    const bool isNew = sectionOfName_.emplace(FoldCase(name), sections_.size()).second;
    if (!isNew)
        return kNoSection;
    sections_.emplace_back();
    return sections_.size() - 1;
}

}  // namespace updater::platform::posix
