#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A settings file parsed once into an index, so that a script of thousands of sections answers
// every question without reading its text again. The parse follows the Windows reader: CR LF, CR
// and LF end lines; blank lines are dropped; lines above the first header belong to no section; a
// header is a line starting with "[" whose name ends at the first "]" (or at the end of the line)
// and is trimmed; a key line is split at its first "="; a line starting with ";" is a comment and
// never a key; only the first block of a repeated section and the first of a repeated key count.
// A UTF-8 byte-order mark at the start is skipped; a file that starts with the UTF-16LE one is
// decoded to UTF-8 first (UTF-16BE is not, as on Windows). Bytes are kept as they are, NUL
// included: the engine's strings end at a NUL, so such a value simply arrives cut there.
namespace updater::platform::posix {

// Section and key names match without regard to ASCII case; this is the form they are stored in.
std::string FoldCase(std::string_view name);

// A value without one pair of matching outer quotes: "x" and 'x' give x, while "x' and a lone "
// stay as they are.
std::string_view StripOuterQuotes(std::string_view value);

// The first block of one section.
class IniSection {
  public:
    // Adds one non-blank line of the block, already trimmed.
    void AddLine(std::string_view line);

    // The block's lines as the section reader returns them: a line holding "=" (a comment too) as
    // "key=value" trimmed around its first "=", any other line trimmed of surrounding blanks.
    const std::vector<std::string>& Lines() const { return lines_; }

    // The trimmed value of `key`, quotes still on; nothing when the block has no such key.
    std::optional<std::string_view> FindValue(std::string_view key) const;

  private:
    std::vector<std::string> lines_;
    std::unordered_map<std::string, std::size_t> lineOfKey_;  // folded key -> index in lines_
};

class IniFile {
  public:
    explicit IniFile(std::string_view text);

    // The first block of the section `name`, or nullptr when the file has none.
    const IniSection* FindSection(std::string_view name) const;

  private:
    static constexpr std::size_t kNoSection = static_cast<std::size_t>(-1);

    // Index of the block a header opens, or kNoSection when the name was seen before.
    std::size_t OpenSection(std::string_view name);

    std::vector<IniSection> sections_;
    std::unordered_map<std::string, std::size_t> sectionOfName_;  // folded name -> index
};

}  // namespace updater::platform::posix
