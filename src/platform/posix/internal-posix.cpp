#include "platform/posix/utf8_text-posix.h"

namespace updater::platform::posix {

namespace {

bool IsContinuation(unsigned char byte) {
    return byte >= 0x80 && byte <= 0xBF;
}

// The length a lead byte announces, and the range its second byte must fall in (this excludes
// overlong forms and surrogates); 1 for ASCII and for bytes that cannot lead a sequence.
struct LeadByte {
    std::size_t length;
    unsigned char secondLow;
    unsigned char secondHigh;
};

LeadByte Classify(unsigned char byte) {
    if (byte >= 0xC2 && byte <= 0xDF)
        return {2, 0x80, 0xBF};
    if (byte == 0xE0)
        return {3, 0xA0, 0xBF};
    if (byte == 0xED)
        return {3, 0x80, 0x9F};
    if (byte >= 0xE1 && byte <= 0xEF)
        return {3, 0x80, 0xBF};
    if (byte == 0xF0)
        return {4, 0x90, 0xBF};
    if (byte >= 0xF1 && byte <= 0xF3)
        return {4, 0x80, 0xBF};
    if (byte == 0xF4)
        return {4, 0x80, 0x8F};
    return {1, 0, 0};
}

// Bytes of the character that starts at `at`.
std::size_t CharacterLength(std::string_view text, std::size_t at) {
    const LeadByte lead = Classify(static_cast<unsigned char>(text[at]));
    if (lead.length == 1 || at + lead.length > text.size())
        return 1;
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if (second < lead.secondLow || second > lead.secondHigh)
        return 1;
    for (std::size_t i = 2; i < lead.length; ++i) {
        if (!IsContinuation(static_cast<unsigned char>(text[at + i])))
            return 1;
    }
    return lead.length;
}

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(char32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

char32_t UnitAt(std::string_view bytes, std::size_t at) {
    return static_cast<char32_t>(static_cast<unsigned char>(bytes[at]) |
                                 static_cast<unsigned char>(bytes[at + 1]) << 8);
}

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The code point of a well-formed sequence of `length` bytes.
char32_t Decode(std::string_view text, std::size_t at, std::size_t length) {
    static constexpr unsigned char kLeadMask[] = {0, 0xFF, 0x1F, 0x0F, 0x07};
    char32_t code = static_cast<unsigned char>(text[at]) & kLeadMask[length];
    for (std::size_t i = 1; i < length; ++i)
        code = code << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    return code;
}

}  // namespace

std::size_t CountCharacters(std::string_view text) {
    std::size_t characters = 0;
    for (std::size_t at = 0; at < text.size(); at += CharacterLength(text, at))
        ++characters;
    return characters;
}

std::size_t BytesOfCharacters(std::string_view text, std::size_t characters) {
    std::size_t at = 0;
    for (; at < text.size() && characters > 0; --characters)
        at += CharacterLength(text, at);
    return at;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    std::size_t at = 0;
    for (; at + 1 < bytes.size(); at += 2) {
        const char32_t unit = UnitAt(bytes, at);
        if (IsHighSurrogate(unit) && at + 3 < bytes.size() &&
            IsLowSurrogate(UnitAt(bytes, at + 2))) {
            AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (UnitAt(bytes, at + 2) - 0xDC00), out);
            at += 2;
        } else {
            AppendUtf8(IsHighSurrogate(unit) || IsLowSurrogate(unit) ? kReplacement : unit, out);
        }
    }
    if (at < bytes.size())
        AppendUtf8(kReplacement, out);
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = CharacterLength(text, at);
        char32_t code = Decode(text, at, length);
        if (length == 1 && code >= 0x80)
            code = kReplacement;
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        at += length;
    }
    return out;
}

}  // namespace updater::platform::posix
