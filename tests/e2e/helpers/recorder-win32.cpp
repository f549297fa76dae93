// Records how it was started, for the end-to-end cases: appends one JSON line with its working
// directory and its arguments (after its own name, as the C runtime splits them) to the file
// named by UPDATER_TEST_RECORDS.
#include <windows.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// The cases pass no control characters.
std::string Json(const std::wstring& text) {
    std::string out = "\"";
    for (const char c : Utf8(text)) {
        out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    }
    return out + "\"";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    wchar_t records[MAX_PATH];
    if (GetEnvironmentVariableW(L"UPDATER_TEST_RECORDS", records, MAX_PATH) == 0) {
        return 2;
    }
    wchar_t directory[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, directory);
    std::string line = "{\"cwd\":" + Json(directory) + ",\"args\":[";
    for (int i = 1; i < argc; ++i) {
        line += (i > 1 ? "," : "") + Json(argv[i]);
    }
    line += "]}\n";
    const HANDLE file = CreateFileW(records, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 3;
    }
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
}
