#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "platform/posix/internal-posix.h"
#include "platform/posix/system_calls-posix.h"

// The settings reader on Linux: each file parsed once into an index, kept between calls, and
// asked as the Windows reader is asked.
namespace updater::platform {

// --- Settings-file index -------------------------------------------------------------------------
// The parse follows the Windows reader: CR LF, CR and LF end lines; blank lines are dropped;
// lines above the first header belong to no section; a header is a line starting with "[" whose
// name ends at the first "]" (or at the end of the line) and is trimmed; a key line is split at
// its first "="; a line starting with ";" is a comment and never a key; only the first block of a
// repeated section and the first of a repeated key count. A UTF-8 byte-order mark at the start is
// skipped; a file that starts with the UTF-16LE one is decoded to UTF-8 first (UTF-16BE is not,
// as on Windows). Bytes are kept as they are, NUL included: the engine's strings end at a NUL, so
// such a value simply arrives cut there.

namespace posix {

namespace {

// Blanks around names, values and whole lines; Windows trims vertical tabs too.
constexpr std::string_view kBlanks = " \t\v";
constexpr std::string_view kLineEnds = "\r\n";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

std::string_view TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

// The next line of `rest` without its ending (CR LF, CR or LF); `rest` moves past it.
std::string_view TakeLine(std::string_view& rest) {
    const std::size_t end = rest.find_first_of(kLineEnds);
    const std::string_view line = rest.substr(0, end);
    if (end == std::string_view::npos) {
        rest = {};
        return line;
    }
    const bool crlf = rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n';
    rest.remove_prefix(end + (crlf ? 2 : 1));
    return line;
}

// The name in a header line: after "[" up to the first "]", or to the end without one.
std::string_view SectionName(std::string_view header) {
    header.remove_prefix(1);
    return TrimBlanks(header.substr(0, header.find(']')));
}

}  // namespace

std::string_view StripOuterQuotes(std::string_view value) {
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    return quoted ? value.substr(1, value.size() - 2) : value;
}

std::string FoldCase(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

void IniSection::AddLine(std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        lines_.emplace_back(line);
        return;
    }
    const std::string_view key = TrimBlanks(line.substr(0, equals));
    const std::string_view value = TrimBlanks(line.substr(equals + 1));
    std::string entry;
    entry.reserve(key.size() + 1 + value.size());
    entry.append(key).append(1, '=').append(value);
    // A comment stays a line of the block but can never be looked up; emplace keeps the first key.
    if (line.front() != ';')
        lineOfKey_.emplace(FoldCase(key), lines_.size());
    lines_.push_back(std::move(entry));
}

std::optional<std::string_view> IniSection::FindValue(std::string_view key) const {
    const auto found = lineOfKey_.find(FoldCase(key));
    if (found == lineOfKey_.end())
        return std::nullopt;
    // A key never holds "=", so the first one in its line is the separator.
    const std::string_view line = lines_[found->second];
    return line.substr(line.find('=') + 1);
}

IniFile::IniFile(std::string_view text) {
    // Scripts saved as UTF-16 read the same on Windows in any language; decoded up front, their
    // lines end and trim exactly as UTF-8 text does.
    std::string decoded;
    if (text.substr(0, kUtf16LeBom.size()) == kUtf16LeBom) {
        decoded = Utf16LeToUtf8(text.substr(kUtf16LeBom.size()));
        text = decoded;
    } else if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        text.remove_prefix(kUtf8Bom.size());
    }
    std::size_t current = kNoSection;  // also while inside a repeated block
    while (!text.empty()) {
        const std::string_view line = TrimBlanks(TakeLine(text));
        if (line.empty())
            continue;
        if (line.front() == '[') {
            current = OpenSection(SectionName(line));
        } else if (current != kNoSection) {
            sections_[current].AddLine(line);
        }
    }
}

const IniSection* IniFile::FindSection(std::string_view name) const {
    const auto found = sectionOfName_.find(FoldCase(name));
    return found == sectionOfName_.end() ? nullptr : &sections_[found->second];
}

std::size_t IniFile::OpenSection(std::string_view name) {
    const bool isNew = sectionOfName_.emplace(FoldCase(name), sections_.size()).second;
    if (!isNew)
        return kNoSection;
    sections_.emplace_back();
    return sections_.size() - 1;
}

}  // namespace posix

// --- Cache of parsed files -----------------------------------------------------------------------
// The one place that keeps parsed settings files between calls. A script asks thousands of
// questions of the same file; each costs one stat() and a lookup, and the file is read again only
// when it has changed.

namespace posix {

namespace {

// A rewrite within one clock tick can keep the modification time; the change time, size and
// inode (a file replaced by rename) catch most of those too.
struct FileStamp {
    dev_t device;
    ino_t inode;
    off_t size;
    timespec modified;
    timespec changed;
};

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool operator==(const FileStamp& a, const FileStamp& b) {
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           SameTime(a.modified, b.modified) && SameTime(a.changed, b.changed);
}

FileStamp StampOf(const struct stat& info) {
    return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

struct CachedFile {
    FileStamp stamp;
    std::shared_ptr<const IniFile> file;
};

// Scripts name one or two settings files; the bound only keeps a pathological caller in check.
constexpr std::size_t kMaxCachedFiles = 16;

std::optional<std::string> ReadAll(int fd) {
    std::string text;
    char chunk[65536];
    for (;;) {
        const ssize_t got = Calls().read(fd, chunk, sizeof chunk);
        if (got == 0)
            return text;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        text.append(chunk, static_cast<std::size_t>(got));
    }
}

// The content of a regular file and its stamp taken before reading, so that a change during the
// read shows at the next call. O_NONBLOCK keeps a named pipe from blocking the open.
std::optional<std::string> ReadRegularFile(const std::string& path, FileStamp& stamp) {
    const FileDescriptor file(Calls().open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0));
    struct stat info {};
    if (file.Get() < 0 || fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    stamp = StampOf(info);
    return ReadAll(file.Get());
}

std::shared_ptr<const IniFile> Reload(const std::string& nativePath,
                                      std::unordered_map<std::string, CachedFile>& cache) {
    cache.erase(nativePath);
    FileStamp stamp{};
    const std::optional<std::string> text = ReadRegularFile(nativePath, stamp);
    if (!text)
        return nullptr;
    auto file = std::make_shared<const IniFile>(*text);
    if (cache.size() >= kMaxCachedFiles)
        cache.clear();
    cache.emplace(nativePath, CachedFile{stamp, file});
    return file;
}

}  // namespace

std::shared_ptr<const IniFile> LoadIniFile(const std::string& nativePath) {
    static std::mutex guard;
    static std::unordered_map<std::string, CachedFile> cache;
    const std::lock_guard<std::mutex> lock(guard);

    struct stat info {};
    if (stat(nativePath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        cache.erase(nativePath);
        return nullptr;
    }
    const auto found = cache.find(nativePath);
    if (found != cache.end() && found->second.stamp == StampOf(info))
        return found->second.file;
    return Reload(nativePath, cache);
}

}  // namespace posix

// --- Reader --------------------------------------------------------------------------------------

namespace {

// Windows ignores spaces around the names asked for, but not tabs or line breaks.
std::string_view TrimSpaces(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string_view TrimTrailingSpaces(std::string_view text) {
    const std::size_t last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

// A buffer of `capacity` characters holds capacity - 1 of them and the terminator.
std::string FitInCapacity(std::string_view text, unsigned capacity) {
    if (capacity == 0)
        return {};
    return std::string(text.substr(0, posix::BytesOfCharacters(text, capacity - 1)));
}

// Every line takes its characters and a terminator, and the list one more terminator. The line
// that does not fit is cut to the room left, and the lines after it are dropped.
std::vector<std::string> FitInCapacity(const std::vector<std::string>& lines, unsigned capacity) {
    std::vector<std::string> fitted;
    std::size_t room = capacity > 0 ? capacity - 1 : 0;
    for (const std::string& line : lines) {
        if (room < 2)
            break;  // not even one character and its terminator
        const std::size_t characters = posix::CountCharacters(line);
        if (characters + 1 > room) {
            fitted.push_back(line.substr(0, posix::BytesOfCharacters(line, room - 1)));
            break;
        }
        fitted.push_back(line);
        room -= characters + 1;
    }
    return fitted;
}

const posix::IniSection* FindBlock(const posix::IniFile* ini, const std::string& section) {
    return ini != nullptr ? ini->FindSection(TrimSpaces(section)) : nullptr;
}

// A path that names nothing on Linux (one with a drive, say) is a missing file.
std::shared_ptr<const posix::IniFile> LoadSettingsFile(const std::string& file) {
    std::string native;
    return posix::ToFilePath(file, native) ? posix::LoadIniFile(native) : nullptr;
}

}  // namespace

namespace posix {

std::string ProfileValue(const IniFile* ini, const std::string& section, const std::string& key,
                         const std::string& fallback, unsigned capacity) {
    const IniSection* block = FindBlock(ini, section);
    // An empty key finds a line written "=value", as the Windows reader does; a block without
    // such a line gives the fallback.
    const std::optional<std::string_view> value =
        block != nullptr ? block->FindValue(TrimSpaces(key)) : std::nullopt;
    const std::string_view answer = value ? StripOuterQuotes(*value) : TrimTrailingSpaces(fallback);
    return FitInCapacity(answer, capacity);
}

std::vector<std::string> ProfileSection(const IniFile* ini, const std::string& section,
                                        unsigned capacity) {
    const IniSection* block = FindBlock(ini, section);
    return block != nullptr ? FitInCapacity(block->Lines(), capacity) : std::vector<std::string>{};
}

}  // namespace posix

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& fallback,
                              unsigned capacity) {
    return posix::ProfileValue(LoadSettingsFile(file).get(), section, key, fallback, capacity);
}

std::vector<std::string> ReadProfileSection(const std::string& file, const std::string& section,
                                            unsigned capacity) {
    return posix::ProfileSection(LoadSettingsFile(file).get(), section, capacity);
}

}  // namespace updater::platform
