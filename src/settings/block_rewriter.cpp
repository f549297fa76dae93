#include "settings/block_rewriter.h"

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace updater {
namespace {

// The text under rewriting. Everything before the resume point is final and never walked again:
// a later block lies after it, and a replacement changes only what follows it. The rest is kept
// reversed, so that dropping a block just ahead and putting its replacement there costs the
// block and the replacement, not the rest of the text.
class RewriteText {
  public:
    explicit RewriteText(std::string_view text) : rest_(text.rbegin(), text.rend()) {}

    std::size_t Size() const { return rest_.size(); }
    std::size_t WholeSize() const { return done_.size() + rest_.size(); }
    // The byte `offset` bytes after the resume point.
    char At(std::size_t offset) const { return rest_[rest_.size() - 1 - offset]; }
    std::string Slice(std::size_t first, std::size_t last) const {
        return std::string(rest_.rbegin() + first, rest_.rbegin() + last + 1);
    }
    // Makes the next `count` bytes final.
    void Keep(std::size_t count) {
        done_.append(rest_.rbegin(), rest_.rbegin() + count);
        rest_.resize(rest_.size() - count);
    }
    // Puts `replacement` in the place of the next `count` bytes.
    void Replace(std::size_t count, std::string_view replacement) {
        rest_.resize(rest_.size() - count);
        rest_.append(replacement.rbegin(), replacement.rend());
    }
    std::string Whole() const { return done_ + std::string(rest_.rbegin(), rest_.rend()); }

  private:
    std::string done_;
    std::string rest_;
};

struct Span {
    std::size_t first;
    std::size_t last;
};

// The walk of the block operations from the resume point (depth 0). An opening marker is passed
// only when a closing marker lies somewhere after it, otherwise the walk ends; a closing marker
// met at depth 0 takes the depth below zero, which hides the simple blocks after it.
class BlockWalk {
  public:
    BlockWalk(const RewriteText& text, char open, char close)
        : text_(text), open_(open), close_(close) {}

    // The next outermost block, markers included; one never closed reaches the end of the text.
    std::optional<Span> Next() {
        std::ptrdiff_t depth = 0;
        for (std::size_t at = 0; at < text_.Size(); ++at) {
            const char c = text_.At(at);
            if (c == open_) {
                if (!CloseAfter(at))
                    return std::nullopt;
                if (depth == 0)
                    return Span{at, EndOfBlock(at)};
                ++depth;
            } else if (c == close_) {
                --depth;
            }
        }
        return std::nullopt;
    }

  private:
    std::size_t EndOfBlock(std::size_t start) {
        std::ptrdiff_t depth = 1;
        for (std::size_t at = start + 1; at < text_.Size(); ++at) {
            const char c = text_.At(at);
            if (c == open_) {
                if (!CloseAfter(at))
                    break;
                ++depth;
            } else if (c == close_ && --depth == 0) {
                return at;
            }
        }
        return text_.Size() - 1;
    }

    // Whether a closing marker lies after `at`. The one found is kept until the walk passes it,
    // so the search ahead covers each byte once.
    bool CloseAfter(std::size_t at) {
        if (nextClose_ && *nextClose_ > at)
            return true;
        for (std::size_t ahead = at + 1; ahead < text_.Size(); ++ahead) {
            if (text_.At(ahead) == close_) {
                nextClose_ = ahead;
                return true;
            }
        }
        return false;
    }

    const RewriteText& text_;
    char open_;
    char close_;
    std::optional<std::size_t> nextClose_;
};

// Symbols that use an earlier symbol twice double with every entry; a value stops growing here,
// and a reference that would carry it further stays as written. Far above any real path.
constexpr std::size_t kMaxRewrittenLength = 1 << 20;

bool Fits(const RewriteText& rewrite, const Span& block, const String& replacement) {
    if (replacement.CStr() == nullptr)
        return false;
    const std::size_t blockLength = block.last - block.first + 1;
    return rewrite.WholeSize() - blockLength + std::strlen(replacement.CStr()) <=
           kMaxRewrittenLength;
}

// The blocks that close, as the passes are counted: an opening marker after the last closing
// marker ends the walk.
int CountClosedBlocks(std::string_view text, char open, char close) {
    const std::size_t lastClose = text.rfind(close);
    std::ptrdiff_t depth = 0;
    int count = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == open) {
            if (lastClose == std::string_view::npos || at > lastClose)
                break;
            ++depth;
        } else if (text[at] == close && --depth == 0) {
            ++count;
        }
    }
    return count;
}

}  // namespace

bool RewriteBlocks(String& text, char open, char close, const BlockResolver& resolve) {
    if (text.CStr() == nullptr)
        return false;
    const int passes = CountClosedBlocks(text.CStr(), open, close);
    if (passes == 0)
        return false;
    RewriteText rewrite(text.CStr());
    bool changed = false;
    for (int pass = 0; pass < passes; ++pass) {
        const std::optional<Span> block = BlockWalk(rewrite, open, close).Next();
        String replacement;
        if (!block) {
            // The passes left ask for a block that is not there, which reads as the empty text
            // and changes nothing even when it resolves.
            changed = resolve(String(), replacement) || changed;
            break;
        }
        if (!resolve(String(rewrite.Slice(block->first, block->last).c_str()), replacement) ||
            !Fits(rewrite, *block, replacement)) {
            rewrite.Keep(block->last + 1);
            continue;
        }
        rewrite.Keep(block->first);
        rewrite.Replace(block->last - block->first + 1, replacement.CStr());
        changed = true;
    }
    if (changed)
        text = rewrite.Whole().c_str();
    return changed;
}

}  // namespace updater
