#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/shortcut.h"

// What the files of the Linux backend share, and the parts of them that their tests reach. The
// helpers of the first three divisions are defined in internal-posix.cpp; every later division
// names the file that defines it, the one that implements the platform header it serves.
namespace updater::platform::posix {

// --- Paths ---------------------------------------------------------------------------------------
// The engine writes paths with backslashes; Linux wants slashes. Only this backend translates.

// A backslash becomes "/" (so "\opt\tool" is "/opt/tool").
std::string ToNativePath(const std::string& enginePath);
// A "/" becomes a backslash.
std::string FromNativePath(const std::string& nativePath);

// The native path for an engine path; false for texts that name nothing on Linux: the empty text
// and paths that begin with a drive ("C:\App"), which must fail cleanly rather than be taken as a
// relative name.
bool ToFilePath(const std::string& enginePath, std::string& native);

// Whether Windows would accept the last name of a native path for a new entry: it refuses "*"
// and "?", which Linux would take literally.
bool IsCreatableName(const std::string& native);

// The native path without trailing slashes, so that it names a link itself rather than what the
// link leads to; the root stays "/".
std::string WithoutTrailingSlashes(const std::string& native);

// True for a native path written with a trailing slash.
bool EndsWithSlash(const std::string& native);

// The directory that holds a native path ("." for a bare name, "/" for an entry of the root).
std::string ParentOf(const std::string& native);

// --- File descriptors and small files ------------------------------------------------------------
// Open file descriptors of this backend: closed on every way out of the code that opened them;
// and the small reads and writes done through them.

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // Hands the descriptor over; it is no longer closed here.
    int Release();
    // Closes now and tells whether the close succeeded: a write error may first show there.
    bool Close();

  private:
    int fd_;
};

// Writes every byte, going on after interruptions and partial writes.
bool WriteAll(int fd, const char* data, std::size_t size);

// As WriteAll, for a descriptor that may be a pipe whose reader has gone: the write then fails
// (EPIPE) instead of SIGPIPE ending the process. The signal is held back on this thread only, so
// programs started later still get the default disposition.
bool WriteAllWithoutSigpipe(int fd, const char* data, std::size_t size);

// The most ReadSmallRegularFile returns.
constexpr std::size_t kSmallFileLimit = std::size_t{64} << 10;

// The content of a file this backend reads for its own purposes (under /proc, the XDG
// configuration), never waiting and never growing without bound: nothing unless it is a regular
// file, and at most its first kSmallFileLimit bytes.
std::optional<std::string> ReadSmallRegularFile(const std::string& path);

// The whole text of a symbolic link however long it is (under /proc, the path of a program);
// nothing when the link may not be read.
std::optional<std::string> ReadWholeLink(const std::string& link);

// The working directory however long it is; nothing when the system cannot tell it.
std::optional<std::string> CurrentDirectory();

// --- UTF-8 and UTF-16 text -----------------------------------------------------------------------
// The text inside this backend is UTF-8; settings files saved as UTF-16 are decoded into it here.
// Capacities of the Windows calls count characters, so these helpers count and cut by character:
// a byte that does not start a well-formed sequence counts as one character of its own, so invalid
// input passes through unchanged and is never split oddly.

// How many characters `text` holds.
std::size_t CountCharacters(std::string_view text);

// The number of bytes taken by the first `characters` characters of `text` (all of it when it
// holds fewer).
std::size_t BytesOfCharacters(std::string_view text, std::size_t characters);

// UTF-16LE bytes (without their byte-order mark) as UTF-8, as Windows decodes them: an unpaired
// surrogate and an odd last byte each become U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);

// UTF-8 as UTF-16 code units, as Windows encodes it: a byte that starts no well-formed sequence
// becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

// --- Defined in file_system-posix.cpp ------------------------------------------------------------
// The shortcut writer replaces files under the same rules as the file calls.

// Read-only as Windows sees it: the owner may not write. A link has no permissions of its own.
bool IsReadOnly(const struct stat& status);

// The stored attribute bits of a path (hidden, system, archive, ...), or the default of its kind
// when none are stored.
uint32_t ReadStoredAttributes(const std::string& native, const struct stat& status);

// Makes a new entry under a hidden temporary name in `directory`: `make` creates it at the name
// it is given and fails with EEXIST when the name is taken, which only costs another name. On
// success `temporary` names the entry.
bool MakeTemporaryEntry(const std::string& directory,
                        const std::function<bool(const std::string&)>& make,
                        std::string& temporary);

// Name matching as the Windows directory search does it, without 8.3 short names and with
// case-sensitive names (Linux names are). "*.*" matches names without a dot, "*." matches names
// without an extension, and "?" matches one character or nothing at the end of a name or before
// a dot.
class WildcardPattern {
  public:
    explicit WildcardPattern(std::string_view pattern);
    bool Matches(std::string_view name) const;
    // "." and "..": Windows reports them for every pattern that an empty name would match too
    // ("?" finds both).
    bool MatchesDotEntry(std::string_view name) const;

  private:
    enum class Kind : char { kLiteral, kStar, kDosStar, kDosQuestion, kDosDot };
    struct Token {
        Kind kind;
        char literal;
    };

    bool MatchesEverything() const;

    std::vector<Token> tokens_;
    bool matchesEverything_ = false;
};

// --- Defined in profile-posix.cpp ----------------------------------------------------------------
// The settings-file index and its cache, which the registry stand-in reads too.

// Section and key names match without regard to ASCII case; this is the form they are stored in.
std::string FoldCase(std::string_view name);

// A value without one pair of matching outer quotes: "x" and 'x' give x, while "x' and a lone "
// stay as they are.
std::string_view StripOuterQuotes(std::string_view value);

// The first block of one section.
class IniSection {
  public:
    // Adds one non-blank line of the block, already trimmed.
    void AddLine(std::string_view line);

    // The block's lines as the section reader returns them: a line holding "=" (a comment too) as
    // "key=value" trimmed around its first "=", any other line trimmed of surrounding blanks.
    const std::vector<std::string>& Lines() const { return lines_; }

    // The trimmed value of `key`, quotes still on; nothing when the block has no such key.
    std::optional<std::string_view> FindValue(std::string_view key) const;

  private:
    std::vector<std::string> lines_;
    std::unordered_map<std::string, std::size_t> lineOfKey_;  // folded key -> index in lines_
};

// A settings file parsed once into an index, so that a script of thousands of sections answers
// every question without reading its text again.
class IniFile {
  public:
    explicit IniFile(std::string_view text);

    // The first block of the section `name`, or nullptr when the file has none.
    const IniSection* FindSection(std::string_view name) const;

  private:
    static constexpr std::size_t kNoSection = static_cast<std::size_t>(-1);

    // Index of the block a header opens, or kNoSection when the name was seen before.
    std::size_t OpenSection(std::string_view name);

    std::vector<IniSection> sections_;
    std::unordered_map<std::string, std::size_t> sectionOfName_;  // folded name -> index
};

// The parsed file at `nativePath`, or nullptr when it is missing or is not a readable regular
// file (a directory, a pipe, a file without read permission).
std::shared_ptr<const IniFile> LoadIniFile(const std::string& nativePath);

// The reader's answers from a parsed file, as ReadProfileString and ReadProfileSection give them;
// a null `ini` stands for a missing file.
std::string ProfileValue(const IniFile* ini, const std::string& section, const std::string& key,
                         const std::string& fallback, unsigned capacity);
std::vector<std::string> ProfileSection(const IniFile* ini, const std::string& section,
                                        unsigned capacity);

// --- Defined in dialog-posix.cpp -----------------------------------------------------------------

// The answer of the default button: OK for an OK box, Yes for a Yes/No box, No when the second
// button is the default.
int DefaultAnswer(unsigned style);

// "error", "question", "warning", "information", or "" without an icon.
std::string IconName(unsigned style);

// "OK", "Yes", "No" or "Cancel" for an answer.
std::string AnswerName(int answer);

// The caption line with the icon, then the text exactly as given, ending with a line break.
std::string FormatTerminalBox(const std::string& text, const std::string& caption, unsigned style);

// The buttons with the default one in brackets, ready for the answer: "[Yes] / No > ".
std::string FormatTerminalPrompt(unsigned style);

// The answer for a typed line: an empty line takes the default; a Yes/No box takes "y", "yes",
// "n" or "no" in any letter case, an OK box takes anything. nullopt asks again.
std::optional<int> ParseTerminalAnswer(const std::string& line, unsigned style);

// The socket of a local X display name (":0", ":1.0", "unix:0"); nullopt for a display on
// another host or a name that is not understood.
std::optional<std::string> LocalX11SocketPath(const std::string& display);

// The socket of a Wayland display name: an absolute name as it is, else below the runtime
// directory; nullopt when that directory is unknown.
std::optional<std::string> WaylandSocketPath(const std::string& waylandDisplay,
                                             const std::string& runtimeDirectory);

// True when $WAYLAND_DISPLAY or $DISPLAY names a display whose socket exists. A display on
// another host cannot be checked cheaply and is taken as reachable.
bool IsDisplayAvailable();

enum class DialogProgram { kZenity, kKdialog };

// The program's path from PATH; empty and relative entries are skipped, so that nothing in the
// working directory is started by accident.
std::optional<std::string> FindOnSearchPath(const std::string& name);

// The program's file name, as looked up on PATH.
const char* DialogProgramName(DialogProgram program);

// The programs to try, best first: kdialog first on a KDE desktop ($XDG_CURRENT_DESKTOP, a
// colon-separated list), zenity first elsewhere.
std::vector<DialogProgram> DialogProgramsToTry(const std::string& currentDesktop);

// The arguments after the program's name that show the box: its caption, its text as plain
// text, the icon and buttons of the style and, where the program allows, the default button.
std::vector<std::string> DialogArguments(DialogProgram program, const std::string& text,
                                         const std::string& caption, unsigned style);

// The answer that an exit code stands for; nullopt when the program did not show the box.
std::optional<int> AnswerFromExitCode(int exitCode, unsigned style);

// --- Defined in progress-posix.cpp ---------------------------------------------------------------
// The progress line on a terminal and the arguments of the progress dialog.

// How many columns a terminal gives the UTF-8 text: East Asian wide characters take two.
std::size_t TerminalColumns(std::string_view text);

// The text in at most `columns` columns: characters are taken out of its middle, and "…" stands
// there instead, so that both ends of a path stay (where it is, and which file).
std::string ShortenMiddle(const std::string& text, std::size_t columns);

// The one line of a procedure's progress on a terminal `columns` wide, shorter than that: the
// work in words, a bar and the percentage, then the item shortened in its middle to fit. Without
// a total (kNoTotal) the bar holds a block that moves to and fro with `tick`.
std::string FormatProgressLine(const std::string& workText, uint64_t done, uint64_t total,
                               const std::string& item, std::size_t columns, unsigned tick);

// zenity's arguments for a progress dialog, with a Cancel button only when `offerCancel`,
// pulsating when the work has no total.
std::vector<std::string> ZenityProgressArguments(const std::string& caption,
                                                 const std::string& workText, bool pulsate,
                                                 bool offerCancel);

// --- Defined in system-posix.cpp -----------------------------------------------------------------
// Where the XDG conventions put a user's directories. Results are native paths without a
// trailing slash; nullopt when the home directory itself is unknown.

// `relative` below `directory`, with exactly one slash between them; `directory` alone when
// `relative` is empty.
std::string JoinPath(const std::string& directory, const std::string& relative);

// $HOME when it holds an absolute path, else the home directory of the password database.
std::optional<std::string> HomeDirectory();

// An XDG base directory: the variable's value when it is an absolute path (relative values are
// invalid and ignored, as the convention says), else `homeRelativeDefault` below home.
std::optional<std::string> XdgBaseDirectory(const char* variable, const char* homeRelativeDefault);

// An XDG user directory such as "DESKTOP" (XDG_DESKTOP_DIR) from user-dirs.dirs in the
// configuration directory, else `homeRelativeDefault` below home.
std::optional<std::string> XdgUserDirectory(const std::string& name,
                                            const char* homeRelativeDefault);

// The value of XDG_<name>_DIR in the text of a user-dirs.dirs file, "$HOME" resolved against
// `home`; the last valid line wins. nullopt when no line sets it.
std::optional<std::string> FindUserDirectoryInText(const std::string& dirsText,
                                                   const std::string& name,
                                                   const std::string& home);

// --- Defined in shortcut-posix.cpp ---------------------------------------------------------------

// The bytes of a shell link file in the published Shell Link Binary File Format, as small as the
// format allows: the header with the show command, the target in the link information (its
// Unicode copy only when it is not plain ASCII), the working directory and the arguments when
// they are not empty, and the terminal block. Values are stored as given (paths in backslash
// form). False when a value does not fit: a target of 260 UTF-16 characters or more, which
// readers take into a buffer of MAX_PATH, or arguments beyond what the format counts.
bool BuildShellLink(const Shortcut& shortcut, std::string& bytes);

// --- Defined in command_line-posix.cpp -----------------------------------------------------------
// Linux hands a program its arguments one by one; the engine wants one command-line text, as
// Windows hands it to a program without its own name. Programs the engine starts go the other way.

// The arguments joined with single spaces. An argument with a space and no double quote is put
// in double quotes, so that it stays one word; an empty argument becomes "" for the same reason.
// Other arguments are taken as they are.
std::string JoinCommandLine(const std::vector<std::string>& arguments);

// The same for the arguments of main, without the program's own name (argv[0]).
std::string JoinCommandLine(int argc, const char* const* argv);

// The arguments a Windows C program's startup code makes of a full command line, so that a
// program started from Linux receives what its Windows build would. The program's name comes
// first: double quotes in it only keep blanks inside it. Later arguments are separated by spaces
// and tabs; double quotes group, a quote inside quotes doubled ("") stands for one, a backslash
// escapes a double quote, and 2n backslashes before a double quote are n backslashes.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace updater::platform::posix
