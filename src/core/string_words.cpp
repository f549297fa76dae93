#include <cstring>

#include "core/string.h"
#include "core/string_scan.h"

namespace updater {
namespace {

// The next space at or after `p`, or the terminator when no space is left. Each double quote
// passed on the way flips `quoted`; a space met while `quoted` is false separates words.
char* NextSpace(char* p, bool& quoted) {
    for (; *p != ' ' && *p != '\0'; ++p) {
        if (*p == '"') {
            quoted = !quoted;
        }
    }
    return p;
}

}  // namespace

int String::CountWords() {
    const char* p = string_scan::TextOf(text_);
    if (*p == '\0') {
        return 0;
    }
    int count = 1;
    bool quoted = false;
    for (; *p != '\0'; ++p) {
        if (*p == '"') {
            quoted = !quoted;
        } else if (*p == ' ' && !quoted) {
            ++count;
        }
    }
    return count;
}

bool String::FindWords(int from, int to, char** first, char** last) {
    *first = nullptr;
    *last = nullptr;
    if (text_ == nullptr) {
        return false;
    }
    if (from < 0 || to < 0) {
        const int count = CountWords();
        if (count == 0) {
            return false;
        }
        from += from < 0 ? count : 0;
        to += to < 0 ? count : 0;
    }
    int i = 0;
    bool quoted = false;
    char* p = text_;
    // Up to the start of word `from`.
    while (i < from) {
        char* space = NextSpace(p, quoted);
        if (*space == '\0') {
            break;
        }
        i += quoted ? 0 : 1;
        p = space + 1;
    }
    if (i == from) {
        *first = p;
    }
    // On to the end of word `to`: the byte before the space that ends it, or the text's last byte.
    for (;;) {
        char* space = NextSpace(p, quoted);
        if (*space == '\0') {
            if (i <= to) {
                *last = space - 1;
            }
            break;
        }
        if (i > to) {
            break;
        }
        if (i == to) {
            *last = space - 1;
        }
        i += quoted ? 0 : 1;
        p = space + 1;
    }
    if (*first == nullptr || *last == nullptr) {
        return false;
    }
    // A single word in quotes comes out without them.
    if (from == to && *first <= *last && **first == '"' && **last == '"') {
        ++*first;
        --*last;
    }
    return true;
}

String String::GetWord(int i) {
    return GetWords(i, i);
}

String String::GetWords(int from, int to) {
    char* first;
    char* last;
    return FindWords(from, to, &first, &last) ? MidPtr(first, last) : String();
}

void String::ReplaceWord(int i, const char* s) {
    ReplaceWords(i, i, s);
}

void String::ReplaceWords(int from, int to, const char* s) {
    char* first;
    char* last;
    if (FindWords(from, to, &first, &last)) {
        ReplacePtr(first, last, s);
    }
}

}  // namespace updater
