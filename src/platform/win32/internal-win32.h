#pragma once

#include <string>

// What the files of the Windows backend share among themselves, and what its tests reach; only the
// backend and its tests include it.
namespace updater::platform::win32 {

// --- Text -------------------------------------------------------------------------------------
// The engine speaks UTF-8; the wide Win32 calls speak UTF-16. Every crossing goes through here.

// UTF-8 to UTF-16; bytes that are not valid UTF-8 become U+FFFD.
std::wstring Widen(const std::string& text);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Narrow(const std::wstring& text);

// --- Paths ------------------------------------------------------------------------------------

// The full path the system makes of a text (GetFullPathNameW): against the working directory or
// the drive's, "." and ".." folded, device names such as "nul.txt" turned into "\\.\nul". A
// "\??\" text is handed to the system as it is, like "\\?\". Empty when the system refuses.
std::wstring FullPathOf(const std::wstring& path);

// The text to hand a file call for a path. A path whose full form nears MAX_PATH is given as that
// full form behind "\\?\" ("C:\..." as "\\?\C:\...", "\\srv\share\..." as
// "\\?\UNC\srv\share\..."), which the old limit does not stop; it names the same entry, as it is
// folded here by the system's own rules and the prefix only keeps the system from folding again.
// Every other path comes back as it was written: ordinary ones, those already so prefixed, devices.
std::wstring LongPathForm(const std::wstring& path);
// The same for a path in UTF-8.
std::wstring LongPathForm(const std::string& path);

// --- Command line (command_line-win32.cpp) ----------------------------------------------------

// The part of a full command line after the program's name, as a GUI program receives it: a name
// that begins with a double quote runs to the next double quote, any other name to the first
// blank; the blanks after the name are skipped too.
std::wstring CommandTail(const wchar_t* commandLine);

// --- Copies and moves through a temporary file (file_system-win32.cpp) -------------------------

// How MoveFileOver crosses volumes: a copy beside `to` under a temporary hidden name, renamed into
// place while the old file waits under another name until the source is deleted; when anything
// fails, the old file, the source and nothing else are left. It works on one volume as well.
bool MoveFileByCopy(const std::string& from, const std::string& to);

// How CopyFileTo replaces a plain existing file: a complete copy with the source's attributes and
// times is made beside it under a temporary hidden name, then renamed over it; if the copy fails,
// it is removed and the old file is left as it was. A file that another process holds open
// without leave to delete it cannot be renamed over, and is written in place as CopyFileW does.
bool CopyOver(const std::wstring& source, const std::wstring& target);

}  // namespace updater::platform::win32
