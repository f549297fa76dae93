#include "platform/shortcut.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/file_system.h"
#include "platform/posix/internal-posix.h"
#include "platform/posix/system_calls-posix.h"

namespace updater::platform {

// --- The bytes of a shell link -------------------------------------------------------------------

namespace posix {

namespace {

constexpr uint32_t kHeaderSize = 0x4C;
// {00021401-0000-0000-C000-000000000046}, the shell link class, in its byte order.
constexpr unsigned char kLinkClassId[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                            0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Link flags.
constexpr uint32_t kHasLinkInfo = 0x02;
constexpr uint32_t kHasWorkingDir = 0x10;
constexpr uint32_t kHasArguments = 0x20;
constexpr uint32_t kIsUnicode = 0x80;

// Link information: a local path on a fixed drive of unknown serial number and empty label.
constexpr uint32_t kLinkInfoHeaderSize = 0x1C;
constexpr uint32_t kLinkInfoHeaderSizeUnicode = 0x24;
constexpr uint32_t kVolumeIdAndLocalBasePath = 0x01;
constexpr uint32_t kVolumeIdSize = 0x11;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kVolumeLabelOffset = 0x10;

constexpr size_t kMaxPath = 260;
constexpr size_t kMaxStringCount = 0xFFFF;

void Put16(std::string& out, uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutUtf16(std::string& out, const std::u16string& text) {
    for (const char16_t unit : text)
        Put16(out, unit);
}

bool IsAscii(const std::u16string& text) {
    for (const char16_t unit : text) {
        if (unit >= 0x80)
            return false;
    }
    return true;
}

// The code page of the reader is unknown: every character beyond ASCII is a question mark, as
// Windows writes characters its code page lacks. The Unicode copy holds the real path.
std::string AnsiOf(const std::u16string& text) {
    std::string ansi;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xDC00 && unit <= 0xDFFF && i > 0 && text[i - 1] >= 0xD800 &&
            text[i - 1] <= 0xDBFF)
            continue;  // the second half of a character already written
        ansi += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return ansi;
}

void PutHeader(std::string& out, uint32_t flags, int showCommand) {
    Put32(out, kHeaderSize);
    out.append(reinterpret_cast<const char*>(kLinkClassId), sizeof kLinkClassId);
    Put32(out, flags);
    // Attributes, the three times and the target's size are unknown, the icon index 0.
    out.append(4 + 3 * 8 + 4 + 4, '\0');
    Put32(out, static_cast<uint32_t>(showCommand == kShowUnset ? kShowNormal : showCommand));
    // No hot key; the reserved fields.
    out.append(2 + 2 + 4 + 4, '\0');
}

// The whole path goes into the local base path and the common path suffix stays empty, which
// every reader puts together the same way.
void PutLinkInfo(std::string& out, const std::u16string& target) {
    const bool unicode = !IsAscii(target);
    const std::string ansi = AnsiOf(target);
    const uint32_t headerSize = unicode ? kLinkInfoHeaderSizeUnicode : kLinkInfoHeaderSize;
    const uint32_t volumeId = headerSize;
    const uint32_t basePath = volumeId + kVolumeIdSize;
    const auto suffix = static_cast<uint32_t>(basePath + ansi.size() + 1);
    const uint32_t basePathUnicode = suffix + 1;
    const auto suffixUnicode = static_cast<uint32_t>(basePathUnicode + 2 * (target.size() + 1));
    const uint32_t size = unicode ? suffixUnicode + 2 : suffix + 1;

    Put32(out, size);
    Put32(out, headerSize);
    Put32(out, kVolumeIdAndLocalBasePath);
    Put32(out, volumeId);
    Put32(out, basePath);
    Put32(out, 0);  // no network location
    Put32(out, suffix);
    if (unicode) {
        Put32(out, basePathUnicode);
        Put32(out, suffixUnicode);
    }
    Put32(out, kVolumeIdSize);
    Put32(out, kDriveFixed);
    Put32(out, 0);  // serial number
    Put32(out, kVolumeLabelOffset);
    out += '\0';  // empty label
    out += ansi;
    out += '\0';
    out += '\0';  // empty suffix
    if (unicode) {
        PutUtf16(out, target);
        Put16(out, 0);
        Put16(out, 0);  // empty suffix
    }
}

// Counted and without a terminator.
void PutStringData(std::string& out, const std::u16string& text) {
    Put16(out, static_cast<uint32_t>(text.size()));
    PutUtf16(out, text);
}

}  // namespace

bool BuildShellLink(const Shortcut& shortcut, std::string& bytes) {
    const std::u16string target = Utf8ToUtf16(shortcut.target);
    const std::u16string directory = Utf8ToUtf16(shortcut.workingDirectory);
    const std::u16string arguments = Utf8ToUtf16(shortcut.arguments);
    if (target.size() >= kMaxPath || directory.size() >= kMaxPath ||
        arguments.size() > kMaxStringCount)
        return false;
    uint32_t flags = kHasLinkInfo | kIsUnicode;
    if (!directory.empty())
        flags |= kHasWorkingDir;
    if (!arguments.empty())
        flags |= kHasArguments;
    bytes.clear();
    PutHeader(bytes, flags, shortcut.showCommand);
    PutLinkInfo(bytes, target);
    if (!directory.empty())
        PutStringData(bytes, directory);
    if (!arguments.empty())
        PutStringData(bytes, arguments);
    Put32(bytes, 0);  // terminal block
    return true;
}

}  // namespace posix

// --- Writing the file ----------------------------------------------------------------------------

namespace {

// What the link object may write over: nothing, or a regular file that is neither read-only nor
// hidden, as Windows refuses to recreate those. A link at the name is not written through.
bool MayWriteAt(const std::string& native) {
    struct stat status {};
    if (lstat(native.c_str(), &status) != 0)
        return errno == ENOENT;
    return S_ISREG(status.st_mode) && !posix::IsReadOnly(status) &&
           (posix::ReadStoredAttributes(native, status) & kAttributeHidden) == 0;
}

// A new file under a temporary name beside the shortcut, with the permissions of any new file.
bool WriteTemporary(const std::string& directory, const std::string& bytes,
                    std::string& temporary) {
    int fd = -1;
    if (!posix::MakeTemporaryEntry(
            directory,
            [&fd](const std::string& name) {
                fd = posix::Calls().open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                                         0666);
                return fd >= 0;
            },
            temporary))
        return false;
    posix::FileDescriptor file(fd);
    const bool written = posix::WriteAll(file.Get(), bytes.data(), bytes.size());
    // A write error may first show when the file is closed.
    if (file.Close() && written)
        return true;
    posix::Calls().unlink(temporary.c_str());
    return false;
}

}  // namespace

// Written beside its name and renamed into place, so that a failed write leaves neither half a
// shortcut nor the temporary file. A name beyond the kernel's limits fails in the rename.
bool WriteShortcut(const std::string& linkFile, const Shortcut& shortcut) {
    std::string native;
    std::string bytes;
    std::string temporary;
    if (!posix::ToFilePath(linkFile, native) || !posix::IsCreatableName(native) ||
        !posix::BuildShellLink(shortcut, bytes) || !MayWriteAt(native) ||
        !WriteTemporary(posix::ParentOf(native), bytes, temporary))
        return false;
    if (posix::Calls().rename(temporary.c_str(), native.c_str()) == 0)
        return true;
    posix::Calls().unlink(temporary.c_str());
    return false;
}

}  // namespace updater::platform
