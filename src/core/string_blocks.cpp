#include <cstring>

#include "core/string.h"
#include "core/string_scan.h"

namespace updater {
namespace {

using string_scan::FindFrom;

// Walks a text from marker to marker. Each step passes the next opening marker when one lies
// before the next closing marker; otherwise it passes that closing marker, and when no closing
// marker is left the walk is at its end (an opening marker with no closing one after it is
// never passed). The next occurrence of each marker is kept until the walk has passed it, so a
// marker far ahead is not searched for again at every step.
class MarkerWalk {
  public:
    enum Step { kOpen, kClose, kEnd };

    MarkerWalk(char* text, const char* open, const char* close)
        : open_(open),
          close_(close),
          open_size_(std::strlen(open)),
          close_size_(std::strlen(close)),
          pos_(text),
          next_open_(FindFrom(text, open)),
          next_close_(FindFrom(text, close)) {}

    Step Next() {
        if (next_open_ != nullptr && next_open_ < pos_) {
            next_open_ = FindFrom(pos_, open_);
        }
        if (next_close_ != nullptr && next_close_ < pos_) {
            next_close_ = FindFrom(pos_, close_);
        }
        if (next_open_ != nullptr && next_close_ != nullptr && next_open_ < next_close_) {
            marker_ = next_open_;
            pos_ = marker_ + open_size_;
            return kOpen;
        }
        if (next_close_ == nullptr) {
            return kEnd;
        }
        marker_ = next_close_;
        pos_ = marker_ + close_size_;
        return kClose;
    }

    // Where the walk stands: just after the marker last passed.
    char* pos() const { return pos_; }
    // The first byte of the marker last passed.
    char* marker() const { return marker_; }

  private:
    const char* open_;
    const char* close_;
    size_t open_size_;
    size_t close_size_;
    char* pos_;
    char* next_open_;
    char* next_close_;
    char* marker_ = nullptr;
};

}  // namespace

int String::CountBlocks(const char* open, const char* close) {
    if (text_ == nullptr) {
        return 0;
    }
    MarkerWalk walk(text_, open, close);
    int depth = 0;
    int count = 0;
    for (auto step = walk.Next(); step != MarkerWalk::kEnd; step = walk.Next()) {
        if (step == MarkerWalk::kOpen) {
            ++depth;
        } else if (--depth == 0) {
            ++count;
        }
    }
    return count;
}

bool String::FindBlocks(int from, int to, const char* open, const char* close, char** first,
                        char** last) {
    *first = nullptr;
    *last = nullptr;
    if (text_ == nullptr) {
        return false;
    }
    if (from < 0 || to < 0) {
        const int count = CountBlocks(open, close);
        if (count == 0) {
            return false;
        }
        from += from < 0 ? count : 0;
        to += to < 0 ? count : 0;
    }
    if (to < 0) {  // no block can start the range
        return false;
    }
    MarkerWalk walk(text_, open, close);
    int depth = 0;
    int started = 0;  // blocks begun by an opening marker met at depth 0
    // Up to the opening marker of block `to`; `first` is the opening marker of block `from`. A
    // closing marker at depth 0 takes the depth below zero; the walk goes on unchanged.
    for (auto step = walk.Next(); step != MarkerWalk::kEnd; step = walk.Next()) {
        if (step == MarkerWalk::kOpen) {
            started += depth == 0 ? 1 : 0;
            ++depth;
        } else {
            --depth;
        }
        if (*first == nullptr && started > from) {
            *first = walk.marker();
        }
        if (started > to) {
            break;
        }
    }
    // On to the closing marker that brings the depth back to 0.
    for (auto step = walk.Next(); step != MarkerWalk::kEnd; step = walk.Next()) {
        if (step == MarkerWalk::kOpen) {
            ++depth;
        } else if (--depth == 0) {
            *last = walk.pos() - 1;
            break;
        }
    }
    if (*first == nullptr) {
        return false;
    }
    if (*last == nullptr) {  // the block is never closed: it reaches the end of the text
        *last = walk.pos() + std::strlen(walk.pos()) - 1;
    }
    return true;
}

String String::GetBlock(int i, const char* open, const char* close) {
    return GetBlocks(i, i, open, close);
}

String String::GetBlocks(int from, int to, const char* open, const char* close) {
    char* first;
    char* last;
    return FindBlocks(from, to, open, close, &first, &last) ? MidPtr(first, last) : String();
}

void String::ReplaceBlock(int i, const char* open, const char* close, const char* s) {
    ReplaceBlocks(i, i, open, close, s);
}

void String::ReplaceBlocks(int from, int to, const char* open, const char* close, const char* s) {
    char* first;
    char* last;
    if (FindBlocks(from, to, open, close, &first, &last)) {
        ReplacePtr(first, last, s);
    }
}

}  // namespace updater
