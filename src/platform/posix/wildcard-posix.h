#pragma once

#include <string>
#include <string_view>
#include <vector>

// Name matching as the Windows directory search does it, without 8.3 short names and with
// case-sensitive names (Linux names are). "*.*" matches names without a dot, "*." matches names
// without an extension, and "?" matches one character or nothing at the end of a name or before
// a dot.
namespace updater::platform::posix {

class WildcardPattern {
  public:
    explicit WildcardPattern(std::string_view pattern);
    bool Matches(std::string_view name) const;
    // "." and "..": Windows reports them for every pattern that an empty name would match too
    // ("?" finds both).
    bool MatchesDotEntry(std::string_view name) const;

  private:
    enum class Kind : char { Literal, Star, DosStar, DosQuestion, DosDot };
    struct Token {
        Kind kind;
        char literal;
    };

    bool MatchesEverything() const;

    std::vector<Token> tokens_;
    bool matchesEverything_ = false;
};

}  // namespace updater::platform::posix
