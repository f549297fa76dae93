#include "platform/posix/wildcard-posix.h"

namespace updater::platform::posix {
namespace {

// Windows drops trailing dots and spaces of a pattern, but a pattern that ended in a dot keeps
// one: "*. " behaves like "*", while "* ." behaves like "*.".
std::string WithoutTrailingDotsAndSpaces(std::string_view pattern) {
    std::string_view::size_type end = pattern.find_last_not_of(". ");
    std::string kept(pattern.substr(0, end == std::string_view::npos ? 0 : end + 1));
    if (!pattern.empty() && pattern.back() == '.')
        kept += '.';
    return kept;
}

}  // namespace

// The pattern is translated to the DOS wildcards the Windows search uses: "?" always, a "." before
// a wildcard or at the end, and a "*" before a ".".
WildcardPattern::WildcardPattern(std::string_view pattern) {
    std::string text = WithoutTrailingDotsAndSpaces(pattern);
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        char c = text[i];
        char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (c == '?') {
            tokens_.push_back({Kind::DosQuestion, c});
        } else if (c == '.' && (next == '?' || next == '*' || next == '\0')) {
            tokens_.push_back({Kind::DosDot, c});
        } else if (c == '*') {
            tokens_.push_back({next == '.' ? Kind::DosStar : Kind::Star, c});
        } else {
            tokens_.push_back({Kind::Literal, c});
        }
    }
    matchesEverything_ = MatchesEverything();
}

// "*" and "*.*", the patterns of every tree walk, need no per-name work.
bool WildcardPattern::MatchesEverything() const {
    bool onlyStars = !tokens_.empty();
    for (const Token& token : tokens_)
        onlyStars = onlyStars && token.kind == Kind::Star;
    bool starDotStar = tokens_.size() == 3 && tokens_[0].kind == Kind::DosStar &&
                       tokens_[1].kind == Kind::DosDot && tokens_[2].kind == Kind::Star;
    return onlyStars || starDotStar;
}

bool WildcardPattern::MatchesDotEntry(std::string_view name) const {
    return Matches(name) || Matches(std::string_view());
}

// A set-of-states simulation: linear in the name for every pattern, so no name or pattern can
// make a search slow.
bool WildcardPattern::Matches(std::string_view name) const {
    if (matchesEverything_)
        return true;
    const std::string_view::size_type lastDot = name.rfind('.');
    const std::size_t count = tokens_.size();
    std::vector<char> states(count + 1, 0);
    std::vector<char> next(count + 1, 0);
    states[0] = 1;
    for (std::string_view::size_type at = 0;; ++at) {
        const bool atEnd = at == name.size();
        // Moves that consume nothing; they only lead forward, so one pass in order suffices.
        for (std::size_t t = 0; t < count; ++t) {
            if (!states[t])
                continue;
            Kind kind = tokens_[t].kind;
            bool empty = kind == Kind::Star || kind == Kind::DosStar ||
                         (kind == Kind::DosQuestion && (atEnd || name[at] == '.')) ||
                         (kind == Kind::DosDot && atEnd);
            if (empty)
                states[t + 1] = 1;
        }
        if (atEnd)
            return states[count] != 0;
        const char c = name[at];
        std::fill(next.begin(), next.end(), 0);
        for (std::size_t t = 0; t < count; ++t) {
            if (!states[t])
                continue;
            const Token& token = tokens_[t];
            switch (token.kind) {
                case Kind::Literal:
                    if (token.literal == c)
                        next[t + 1] = 1;
                    break;
                case Kind::Star:
                    next[t] = 1;
                    break;
                case Kind::DosStar:
                    if (at != lastDot)
                        next[t] = 1;
                    break;
                case Kind::DosQuestion:
                    if (c != '.')
                        next[t + 1] = 1;
                    break;
                case Kind::DosDot:
                    if (c == '.')
                        next[t + 1] = 1;
                    break;
            }
        }
        states.swap(next);
    }
}

}  // namespace updater::platform::posix
