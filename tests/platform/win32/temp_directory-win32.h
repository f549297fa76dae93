#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/internal-win32.h"

namespace updater::platform::win32 {

// A fresh directory below the user's temporary directory, removed with everything in it.
class TempDirectory {
  public:
    TempDirectory() {
        wchar_t base[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, base);
        for (unsigned n = GetTickCount();; ++n) {
            std::wstring candidate = std::wstring(base) + L"updater-test-" + std::to_wstring(n);
            if (CreateDirectoryW(candidate.c_str(), nullptr)) {
                path_ = Narrow(candidate);
                return;
            }
        }
    }
    ~TempDirectory() { RemoveTree(Widen(path_)); }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

    // Writes the bytes as the whole content of a file of this directory; returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string file = *this / name;
        HANDLE handle = CreateFileW(Widen(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(handle);
        return file;
    }

    static std::string Read(const std::string& file) {
        HANDLE handle = CreateFileW(Widen(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        std::string bytes(1 << 16, '\0');
        DWORD read = 0;
        ReadFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        CloseHandle(handle);
        bytes.resize(read);
        return bytes;
    }

  private:
    static void RemoveTree(const std::wstring& directory) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") {
                    continue;
                }
                const std::wstring entry = directory + L"\\" + name;
                SetFileAttributesW(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
                // A link to a directory goes as the link: what it leads to is not ours.
                const DWORD attributes = found.dwFileAttributes;
                if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                    RemoveDirectoryW(entry.c_str());
                } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(entry);
                } else {
                    DeleteFileW(entry.c_str());
                }
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(directory.c_str());
    }

    std::string path_;
};

}  // namespace updater::platform::win32
