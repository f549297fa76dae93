// Presses the Cancel button of the Updater's progress window as soon as the window shows: as a
// click does (BM_CLICK), or with the Esc key when the argument is "escape". Prints what it found,
// one word a line: the button's text as hexadecimal UTF-16 units, "inside" or "outside" (the
// button within the window's client area), "disabled" or "enabled" (the button after the press).
// Exits with 1 when no window showed within two minutes, 2 when it showed without the button.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    const bool escape = argc > 1 && std::wcscmp(argv[1], L"escape") == 0;
    for (int i = 0; i < 2400; ++i, Sleep(50)) {
        const HWND window = FindWindowW(L"UpdaterProgressWindow", nullptr);
        if (window == nullptr || !IsWindowVisible(window))
            continue;
        const HWND button = FindWindowExW(window, nullptr, L"BUTTON", nullptr);
        if (button == nullptr || !IsWindowVisible(button) || !IsWindowEnabled(button))
            return 2;
        wchar_t text[64] = L"";
        GetWindowTextW(button, text, 64);
        for (const wchar_t* unit = text; *unit != L'\0'; ++unit)
            std::printf("%04x", static_cast<unsigned>(*unit));
        RECT client = {};
        RECT place = {};
        GetClientRect(window, &client);
        GetWindowRect(button, &place);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
        const bool inside = place.left >= 0 && place.top >= 0 && place.right <= client.right &&
                            place.bottom <= client.bottom && place.right > place.left;
        std::printf("\n%s\n", inside ? "inside" : "outside");
        if (escape) {
            PostMessageW(button, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            PostMessageW(button, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
            for (int k = 0; k < 1500 && IsWindowEnabled(button); ++k)
                Sleep(20);
        } else {
            SendMessageW(button, BM_CLICK, 0, 0);
        }
        std::printf("%s\n", IsWindowEnabled(button) ? "enabled" : "disabled");
        return 0;
    }
    return 1;
}
