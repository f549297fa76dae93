#include "platform/posix/internal-posix.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <vector>

#include "platform/file_system.h"
#include "platform/posix/system_calls-posix.h"

namespace updater::platform::posix {

// --- Paths ---------------------------------------------------------------------------------------

std::string ToNativePath(const std::string& enginePath) {
    std::string native = enginePath;
    std::replace(native.begin(), native.end(), '\\', '/');
    return native;
}

std::string FromNativePath(const std::string& nativePath) {
    std::string engine = nativePath;
    std::replace(engine.begin(), engine.end(), '/', '\\');
    return engine;
}

bool ToFilePath(const std::string& enginePath, std::string& native) {
    if (enginePath.empty() || StartsWithDrive(enginePath))
        return false;
    native = ToNativePath(enginePath);
    return true;
}

bool IsCreatableName(const std::string& native) {
    std::string::size_type slash = native.rfind('/');
    std::string::size_type start = slash == std::string::npos ? 0 : slash + 1;
    return !HasWildcards(std::string_view(native).substr(start));
}

std::string WithoutTrailingSlashes(const std::string& native) {
    std::string::size_type end = native.find_last_not_of('/');
    if (end == std::string::npos)
        return native.empty() ? native : std::string("/");
    return native.substr(0, end + 1);
}

bool EndsWithSlash(const std::string& native) {
    return !native.empty() && native.back() == '/';
}

std::string ParentOf(const std::string& native) {
    std::string::size_type slash = native.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return native.substr(0, slash);
}

// --- File descriptors and small files ------------------------------------------------------------

FileDescriptor::~FileDescriptor() {
    Close();
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.Release();
    }
    return *this;
}

int FileDescriptor::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool FileDescriptor::Close() {
    if (fd_ < 0)
        return true;
    const int fd = Release();
    return Calls().close(fd) == 0;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = Calls().write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool WriteAllWithoutSigpipe(int fd, const char* data, std::size_t size) {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t saved;
    if (pthread_sigmask(SIG_BLOCK, &pipeSignal, &saved) != 0)
        return false;
    // A SIGPIPE that was already waiting belongs to someone else and is left for them.
    sigset_t pending;
    sigemptyset(&pending);
    const bool wasPending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    errno = 0;
    const bool written = WriteAll(fd, data, size);
    if (!written && errno == EPIPE && !wasPending) {
        const timespec now{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    return written;
}

// A longer file is read as its first part rather than refused: files under /proc tell no size
// (they show 0) and can grow long at their end (the groups in /proc/self/status), while what is
// read from them comes first; the other files read so are a few lines long.
std::optional<std::string> ReadSmallRegularFile(const std::string& path) {
    // O_NONBLOCK keeps a named pipe from blocking the open; O_NOCTTY keeps a terminal from
    // becoming the controlling one before it is refused.
    const FileDescriptor file(
        Calls().open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0));
    struct stat info {};
    if (!file.IsOpen() || fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    std::string text(kSmallFileLimit, '\0');
    std::size_t size = 0;
    while (size < text.size()) {
        const ssize_t got = Calls().read(file.Get(), text.data() + size, text.size() - size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        size += static_cast<std::size_t>(got);
    }
    text.resize(size);
    return text;
}

std::optional<std::string> ReadWholeLink(const std::string& link) {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = Calls().readlink(link.c_str(), buffer.data(), buffer.size());
        if (length < 0) {
            return std::nullopt;
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<size_t>(length));
        }
        // The link may have been cut to the buffer: try again with more room.
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::string> CurrentDirectory() {
    std::string buffer(256, '\0');
    for (;;) {
        if (getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(std::char_traits<char>::length(buffer.data()));
            return buffer;
        }
        if (errno != ERANGE) {
            return std::nullopt;
        }
        buffer.assign(buffer.size() * 2, '\0');
    }
}

// --- UTF-8 and UTF-16 text -----------------------------------------------------------------------

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
