#include <cstring>

#include "core/string.h"
#include "core/string_scan.h"

namespace updater {

using string_scan::FindFrom;

int String::CountTokens(const char* delim) {
    const char* p = string_scan::TextOf(text_);
    if (*p == '\0') {
        return 0;
    }
    const size_t delim_size = std::strlen(delim);
    int count = 1;
    for (p = FindFrom(p, delim); p != nullptr; p = FindFrom(p + delim_size, delim)) {
        ++count;
    }
    return count;
}

bool String::FindTokens(int from, int to, const char* delim, char** first, char** last) {
    *first = nullptr;
    *last = nullptr;
    if (text_ == nullptr) {
        return false;
    }
    if (from < 0 || to < 0) {
        const int count = CountTokens(delim);
        if (count == 0) {
            return false;
        }
        from += from < 0 ? count : 0;
        to += to < 0 ? count : 0;
    }
    const size_t delim_size = std::strlen(delim);
    if (from == 0) {
        *first = text_;
    }
    char* p = text_;  // just after the last delimiter passed
    int i = 0;        // the number of the item that begins at p
    for (char* hit = FindFrom(p, delim); hit != nullptr; hit = FindFrom(p, delim)) {
        if (i >= to) {
            *last = hit - 1;
            break;
        }
        p = hit + delim_size;
        if (*first == nullptr && i + 1 >= from) {
            *first = p;
        }
        ++i;
    }
    if (*first == nullptr) {
        return false;
    }
    if (*last == nullptr) {  // the range reaches the end of the text
        *last = p + std::strlen(p) - 1;
    }
    return true;
}

String String::GetToken(int i, const char* delim) {
    return GetTokens(i, i, delim);
}

String String::GetTokens(int from, int to, const char* delim) {
    char* first;
    char* last;
    return FindTokens(from, to, delim, &first, &last) ? MidPtr(first, last) : String();
}

void String::ReplaceToken(int i, const char* delim, const char* s) {
    ReplaceTokens(i, i, delim, s);
}

void String::ReplaceTokens(int from, int to, const char* delim, const char* s) {
    char* first;
    char* last;
    if (FindTokens(from, to, delim, &first, &last)) {
        ReplacePtr(first, last, s);
    }
}

}  // namespace updater
