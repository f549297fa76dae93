#include "core/string.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>

#include "core/numbers.h"
#include "core/string_scan.h"
#include "resources/message_table.h"

namespace updater {
namespace {

using string_scan::FindFrom;
using string_scan::TextOf;

// A run of bytes to be copied into a new text.
struct Run {
    const char* bytes;
    size_t size;
};

// Replaces `block` by a new block holding exactly the runs, in order, and a terminator. The runs
// may lie inside the old block: it is freed only after they have been copied. A failed allocation
// frees the old block all the same and leaves `block` null.
bool Rebuild(char*& block, std::initializer_list<Run> runs) {
    size_t total = 1;
    for (const Run& run : runs) {
        total += run.size;
    }
    char* fresh = new (std::nothrow) char[total];
    if (fresh != nullptr) {
        char* out = fresh;
        for (const Run& run : runs) {
            if (run.size > 0) {
                std::memcpy(out, run.bytes, run.size);
                out += run.size;
            }
        }
        *out = '\0';
    }
    delete[] block;
    block = fresh;
    return fresh != nullptr;
}

// Folds the ASCII letters A to Z to lower case; every other byte stays as it is.
char Fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (Fold(a[i]) != Fold(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

String::String() {
    Init();
    Assign("");
}

String::String(const char* s) {
    Init();
    Assign(s);
}

String::String(const String& s) {
    Init();
    Assign(s);
}

String::~String() {
    delete[] text_;
}

void String::Init() {
    text_ = nullptr;
}

void String::Free() {
    delete[] text_;
    text_ = nullptr;
}

bool String::Alloc(unsigned size) {
    Free();
    text_ = new (std::nothrow) char[size]();
    return text_ != nullptr;
}

bool String::Set(const char* s) {
    s = TextOf(s);
    return Rebuild(text_, {{s, std::strlen(s)}});
}

bool String::Cat(const char* s) {
    const char* old = TextOf(text_);
    s = TextOf(s);
    return Rebuild(text_, {{old, std::strlen(old)}, {s, std::strlen(s)}});
}

const char* String::CStr() const {
    return text_;
}

char* String::CStr() {
    return text_;
}

char String::GetAt(int i) {
    return text_[i];
}

char* String::PtrAt(int i) {
    return text_ + i;
}

String& String::Assign(const String& s) {
    return Assign(s.CStr());
}

String& String::Assign(const char* s) {
    Set(s);
    return *this;
}

String& String::Append(const String& s) {
    return Append(s.CStr());
}

String& String::Append(const char* s) {
    Cat(s);
    return *this;
}

String String::Concat(const String& s) const {
    return Concat(s.CStr());
}

String String::Concat(const char* s) const {
    String result(*this);
    result.Cat(s);
    return result;
}

bool String::EqualsNoCase(const String& s) const {
    return EqualsNoCase(s.CStr());
}

bool String::EqualsNoCase(const char* s) const {
    const char* a = TextOf(text_);
    const char* b = TextOf(s);
    for (;; ++a, ++b) {
        if (Fold(*a) != Fold(*b)) {
            return false;
        }
        if (*a == '\0') {
            return true;
        }
    }
}

bool String::DiffersNoCase(const String& s) const {
    return !EqualsNoCase(s);
}

bool String::DiffersNoCase(const char* s) const {
    return !EqualsNoCase(s);
}

int String::GetLength() const {
    return static_cast<int>(std::strlen(TextOf(text_)));
}

String String::MidPtr(const char* first, const char* last) const {
    String result;
    const std::ptrdiff_t span = last - first + 1;
    if (span > 0) {
        const void* nul = std::memchr(first, '\0', static_cast<size_t>(span));
        const size_t size = nul != nullptr
                                ? static_cast<size_t>(static_cast<const char*>(nul) - first)
                                : static_cast<size_t>(span);
        Rebuild(result.text_, {{first, size}});
    }
    return result;
}

void String::ReplacePtr(char* first, char* last, const char* s) {
    // The four cases (something before `first` or not, something after `last` or not) come down
    // to a head and a tail that may be empty. Addresses are compared unsigned, so that the last
    // byte of the empty text lies just before its start.
    const char* start = TextOf(text_);
    const auto start_address = reinterpret_cast<std::uintptr_t>(start);
    const std::uintptr_t end_address = start_address + std::strlen(start) - 1;
    const auto first_address = reinterpret_cast<std::uintptr_t>(first);
    const auto last_address = reinterpret_cast<std::uintptr_t>(last);
    const Run head{start, first_address > start_address ? first_address - start_address : 0};
    const Run tail{last + 1, last_address < end_address ? end_address - last_address : 0};
    s = TextOf(s);
    Rebuild(text_, {head, {s, std::strlen(s)}, tail});
}

String String::GetChar(int pos) {
    return GetChars(pos, pos);
}

String String::GetChars(int from, int to) {
    if (from < 0 || to < 0) {
        const int length = GetLength();
        if (length == 0) {
            return String();
        }
        from += from < 0 ? length : 0;
        to += to < 0 ? length : 0;
    }
    const char* text = TextOf(text_);
    return MidPtr(text + from, text + to);
}

void String::ReplaceChar(int pos, const char* s) {
    ReplaceChars(pos, pos, s);
}

void String::ReplaceChars(int from, int to, const char* s) {
    if (from < 0 || to < 0) {
        const int length = GetLength();
        if (length == 0) {
            return;
        }
        from += from < 0 ? length : 0;
        to += to < 0 ? length : 0;
    }
    if (text_ == nullptr && !Set("")) {
        return;
    }
    ReplacePtr(text_ + from, text_ + to, s);
}

void String::Trim(const char* pattern) {
    Trim(pattern, pattern);
}

void String::Trim(const char* left, const char* right) {
    const char* text = TextOf(text_);
    const size_t left_size = std::strlen(left);
    const size_t right_size = std::strlen(right);
    const size_t old_length = std::strlen(text);
    const char* start = text;
    size_t length = old_length;
    while (left_size > 0 && length >= left_size && SameNoCase(start, left, left_size)) {
        start += left_size;
        length -= left_size;
    }
    while (right_size > 0 && length >= right_size &&
           SameNoCase(start + length - right_size, right, right_size)) {
        length -= right_size;
    }
    if (length != old_length) {
        Rebuild(text_, {{start, length}});
    }
}

String& String::FormatV(const char* format, va_list args) {
    // Measured first, then written into a block of exactly that size: no argument can make the
    // text overrun, and the arguments may point into this String's own text.
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {  // a format the library rejects gives the empty text
        Set("");
        return *this;
    }
    const size_t size = static_cast<size_t>(length) + 1;
    char* fresh = new (std::nothrow) char[size];
    if (fresh != nullptr) {
        std::vsnprintf(fresh, size, format, args);
    }
    delete[] text_;
    text_ = fresh;
    return *this;
}

String& String::LoadFormat(unsigned id, ...) {
    const char* format = MessageText(id);
    va_list args;
    va_start(args, id);
    FormatV(format != nullptr ? format : "", args);
    va_end(args);
    return *this;
}

String& String::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
    return *this;
}

int String::ToInt() const {
    int value = 0;
    ParseDecimal(TextOf(text_), value);
    return value;
}

int String::HexToInt() const {
    unsigned value = 0;
    ParseHex(TextOf(text_), value);
    return static_cast<int>(value);
}

void String::Compact() {
    Set(text_);
}

void String::AssignMulti(const char* list) {
    const char* end = list;  // the terminating empty string
    size_t length = 0;
    while (*end != '\0') {
        const size_t size = std::strlen(end);
        length += size;
        end += size + 1;
    }
    char* fresh = new (std::nothrow) char[length + 1];
    if (fresh != nullptr) {
        char* out = fresh;
        for (const char* p = list; p < end; ++p) {
            if (*p != '\0') {
                *out++ = *p;
            }
        }
        *out = '\0';
    }
    delete[] text_;
    text_ = fresh;
}

bool String::ReplaceAll(const char* find, const char* s) {
    const size_t find_size = std::strlen(find);
    bool replaced = false;
    size_t offset = 0;
    while (text_ != nullptr) {
        char* hit = FindFrom(text_ + offset, find);
        if (hit == nullptr) {
            break;
        }
        const auto at = static_cast<size_t>(hit - text_);
        ReplacePtr(hit, hit + find_size - 1, s);
        replaced = true;
        // Each search starts again from the beginning of the text. No occurrence began before
        // `at`, and that text is unchanged, so the first one now begins at most find_size - 1
        // bytes before `at`: the search resumes there, with the same result.
        offset = at >= find_size - 1 ? at - (find_size - 1) : 0;
    }
    return replaced;
}

int String::CountOf(const char* find) const {
    const size_t find_size = std::strlen(find);
    int count = 0;
    for (const char* hit = FindFrom(TextOf(text_), find); hit != nullptr;
         hit = FindFrom(hit + find_size, find)) {
        ++count;
    }
    return count;
}

}  // namespace updater
