#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <array>
#include <string>

#include "platform/progress.h"
#include "platform/win32/internal-win32.h"

// Progress on Windows: a small window of its own, run by a thread of its own with its own message
// loop, so that it is drawn and can be moved while the work holds the main thread. The work only
// notes its reports; the window's thread looks at them at most 20 times a second.
namespace updater::platform {
namespace {

// A procedure shorter than this shows nothing: short steps never flash a window.
constexpr ULONGLONG kShowDelay = 1000;
constexpr UINT kRedrawInterval = 50;  // milliseconds
constexpr UINT_PTR kRedrawTimer = 1;
constexpr int kBarRange = 1000;
constexpr UINT kMarqueeInterval = 30;  // milliseconds per step of the moving bar

// From the work's thread to the window's: the reports changed in a way that shows at once (a
// procedure began or ended); the window's thread is to end.
constexpr UINT kMessageRefresh = WM_APP + 1;
constexpr UINT kMessageQuit = WM_APP + 2;

constexpr const wchar_t* kClassName = L"UpdaterProgressWindow";

// The layout at 96 dots per inch, scaled to the window's.
constexpr int kClientWidth = 400;
constexpr int kMargin = 12;
constexpr int kLineGap = 4;
constexpr int kBarGap = 10;
constexpr int kBarHeight = 18;
constexpr int kButtonGap = 12;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 26;
constexpr int kButtonPadding = 24;  // beside the text, for a text longer than the width allows

// The scaling calls of newer systems, where there are any; older ones scale for the system's DPI.
struct DpiCalls {
    UINT(WINAPI* dpiForWindow)(HWND) = nullptr;
    BOOL(WINAPI* metricsForDpi)(UINT, UINT, PVOID, UINT, UINT) = nullptr;
    BOOL(WINAPI* adjustForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;

    DpiCalls() {
        const HMODULE user = GetModuleHandleW(L"user32.dll");
        if (user == nullptr)
            return;
        Load(user, "GetDpiForWindow", dpiForWindow);
        Load(user, "SystemParametersInfoForDpi", metricsForDpi);
        Load(user, "AdjustWindowRectExForDpi", adjustForDpi);
    }

    template <typename Function>
    static void Load(HMODULE module, const char* name, Function& function) {
        function =
            reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    }
};

const DpiCalls& Dpi() {
    static const DpiCalls calls;
    return calls;
}

UINT WindowDpi(HWND window) {
    if (Dpi().dpiForWindow != nullptr)
        return Dpi().dpiForWindow(window);
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// The font of message boxes, at the window's scale.
HFONT MessageFont(UINT dpi) {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    const bool found =
        Dpi().metricsForDpi != nullptr
            ? Dpi().metricsForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi) != 0
            : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != 0;
    return found ? CreateFontIndirectW(&metrics.lfMessageFont) : nullptr;
}

// The common controls are loaded when the window is first made, not with the program: by then
// the library search is kept to the system directory, so that no library planted beside the
// program is loaded in their place (they load the theme library).
bool RegisterProgressBar() {
    using Initialize = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const HMODULE controls = LoadLibraryW(L"comctl32.dll");
    const auto initialize = reinterpret_cast<Initialize>(reinterpret_cast<void (*)()>(
        controls != nullptr ? GetProcAddress(controls, "InitCommonControlsEx") : nullptr));
    const INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
    return initialize != nullptr && initialize(&classes) != FALSE;
}

// What the work reported last; guarded by the lock.
struct Reports {
    bool active = false;
    ULONGLONG began = 0;
    ProgressWork work = ProgressWork::kCopying;
    uint64_t total = kNoTotal;
    uint64_t done = 0;
    std::wstring item;
};

class ProgressWindow : public ProgressReceiver {
  public:
    ProgressWindow(const std::string& caption, const ProgressTexts& texts, bool offerCancel)
        : caption_(win32::Widen(caption)),
          cancelText_(win32::Widen(texts.cancel)),
          stoppingText_(win32::Widen(texts.stopping)),
          offerCancel_(offerCancel) {
        for (int i = 0; i < kProgressWorkCount; ++i)
            workTexts_[i] = win32::Widen(texts.work[i]);
        InitializeCriticalSection(&lock_);
    }

    ~ProgressWindow() override {
        if (thread_ != nullptr) {
            PostMessageW(window_, kMessageQuit, 0, 0);
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
        }
        DeleteCriticalSection(&lock_);
    }

    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // --- The work's thread ---------------------------------------------------------------------

    void Begin(const std::string&, ProgressWork work, uint64_t total) override {
        EnterCriticalSection(&lock_);
        reports_ = Reports{true, GetTickCount64(), work, total, 0, std::wstring()};
        LeaveCriticalSection(&lock_);
        if (StartThread())
            PostMessageW(window_, kMessageRefresh, 0, 0);
    }

    void Item(const std::string& path) override {
        std::wstring item = win32::Widen(path);
        EnterCriticalSection(&lock_);
        reports_.item.swap(item);
        LeaveCriticalSection(&lock_);
    }

    void Advance(uint64_t done) override {
        EnterCriticalSection(&lock_);
        reports_.done = done;
        LeaveCriticalSection(&lock_);
    }

    void End(bool) override { TakeAway(); }

    void StepAside() override { TakeAway(); }

  private:
    // Returns once the window is hidden: the window's thread has handled the message by then.
    void TakeAway() {
        EnterCriticalSection(&lock_);
        reports_.active = false;
        LeaveCriticalSection(&lock_);
        if (window_ != nullptr)
            SendMessageW(window_, kMessageRefresh, 0, 0);
    }

    // The window's thread, started with the first procedure; false when it could not be.
    bool StartThread() {
        if (thread_ == nullptr) {
            ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (ready_ == nullptr)
                return false;
            thread_ = CreateThread(nullptr, 0, &ProgressWindow::ThreadMain, this, 0, nullptr);
            if (thread_ != nullptr)
                WaitForSingleObject(ready_, INFINITE);
            CloseHandle(ready_);
            ready_ = nullptr;
        }
        return window_ != nullptr;
    }

    // --- The window's thread -------------------------------------------------------------------

    static DWORD WINAPI ThreadMain(LPVOID parameter) {
        auto* self = static_cast<ProgressWindow*>(parameter);
        const bool made = self->MakeWindow();
        SetEvent(self->ready_);
        if (!made)
            return 1;
        // The keys of a dialog: Esc, and Enter or Space on the button, press it.
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (self->cancel_ != nullptr && IsDialogMessageW(self->window_, &message))
                continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return 0;
    }

    // A caption without a close button, which would stop the work without the care of Cancel;
    // hidden until shown.
    bool MakeWindow() {
        if (!RegisterProgressBar())
            return false;
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &ProgressWindow::WindowProcedure;
        windowClass.hInstance = instance;
        windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kClassName;
        RegisterClassExW(&windowClass);
        const HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, caption_.c_str(),
                                            WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN, 0, 0, 0, 0,
                                            nullptr, nullptr, instance, this);
        if (window == nullptr)
            return false;
        window_ = window;
        return true;
    }

    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
        }
        auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self == nullptr)
            return DefWindowProcW(window, message, wParam, lParam);
        switch (message) {
            case WM_CREATE:
                self->MakeControls(window);
                return 0;
            case WM_TIMER:
            case kMessageRefresh:
                self->Refresh(window);
                return 0;
            case WM_CLOSE:  // Alt+F4 too: only Cancel, where offered, stops the work
                return 0;
            case WM_COMMAND:
                // The button's id is IDCANCEL, which Esc sends too; Enter sends IDOK.
                if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)
                    self->PressCancel(window);
                return 0;
            case WM_DPICHANGED: {
                const auto* suggested = reinterpret_cast<const RECT*>(lParam);
                self->Scale(window, HIWORD(wParam), suggested);
                return 0;
            }
            case kMessageQuit:
                DestroyWindow(window);
                return 0;
            case WM_DESTROY:
                if (self->font_ != nullptr)
                    DeleteObject(self->font_);
                PostQuitMessage(0);
                return 0;
            default:
                return DefWindowProcW(window, message, wParam, lParam);
        }
    }

    // What the window holds, from top to bottom: the work in words, the file at hand (shortened
    // in its middle by the control when long), the bar, and Cancel where offered.
    void MakeControls(HWND window) {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        const DWORD label = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
        workLabel_ = CreateWindowExW(0, L"STATIC", L"", label, 0, 0, 0, 0, window, nullptr,
                                     instance, nullptr);
        itemLabel_ = CreateWindowExW(0, L"STATIC", L"", label | SS_PATHELLIPSIS, 0, 0, 0, 0, window,
                                     nullptr, instance, nullptr);
        bar_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window,
                               nullptr, instance, nullptr);
        SendMessageW(bar_, PBM_SETRANGE32, 0, kBarRange);
        if (offerCancel_)
            cancel_ = CreateWindowExW(
                0, L"BUTTON", cancelText_.c_str(),
                WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0, 0, window,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDCANCEL)), instance, nullptr);
        Scale(window, WindowDpi(window), nullptr);
    }

    // Fonts and sizes for `dpi`; the window keeps its place when the system suggests one (moved
    // to a monitor of another scale), and is centred on the work area otherwise.
    void Scale(HWND window, UINT dpi, const RECT* suggested) {
        const auto scaled = [dpi](int size) { return MulDiv(size, static_cast<int>(dpi), 96); };
        const HFONT font = MessageFont(dpi);
        int lineHeight = scaled(16);
        if (font != nullptr) {
            const HDC context = GetDC(window);
            const HGDIOBJ previous = SelectObject(context, font);
            TEXTMETRICW metrics = {};
            if (GetTextMetricsW(context, &metrics))
                lineHeight = metrics.tmHeight;
            SelectObject(context, previous);
            ReleaseDC(window, context);
        }
        const int width = scaled(kClientWidth);
        const int inner = width - 2 * scaled(kMargin);
        int y = scaled(kMargin);
        for (const HWND label : {workLabel_, itemLabel_}) {
            SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
            MoveWindow(label, scaled(kMargin), y, inner, lineHeight, TRUE);
            y += lineHeight + scaled(kLineGap);
        }
        y += scaled(kBarGap - kLineGap);
        MoveWindow(bar_, scaled(kMargin), y, inner, scaled(kBarHeight), TRUE);
        y += scaled(kBarHeight) + scaled(kMargin);
        if (cancel_ != nullptr) {
            SendMessageW(cancel_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
            SIZE text = {0, 0};
            if (font != nullptr) {
                const HDC context = GetDC(window);
                const HGDIOBJ previous = SelectObject(context, font);
                GetTextExtentPoint32W(context, cancelText_.c_str(),
                                      static_cast<int>(cancelText_.size()), &text);
                SelectObject(context, previous);
                ReleaseDC(window, context);
            }
            const int buttonWidth =
                std::max(scaled(kButtonWidth), static_cast<int>(text.cx) + scaled(kButtonPadding));
            const int buttonHeight = std::max(scaled(kButtonHeight), lineHeight + scaled(8));
            y += scaled(kButtonGap - kMargin);
            MoveWindow(cancel_, width - scaled(kMargin) - buttonWidth, y, buttonWidth, buttonHeight,
                       TRUE);
            y += buttonHeight + scaled(kMargin);
        }
        if (font_ != nullptr)
            DeleteObject(font_);
        font_ = font;

        const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
        const DWORD extended = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
        RECT frame = {0, 0, width, y};
        if (Dpi().adjustForDpi != nullptr)
            Dpi().adjustForDpi(&frame, style, FALSE, extended, dpi);
        else
            AdjustWindowRectEx(&frame, style, FALSE, extended);
        const int frameWidth = frame.right - frame.left;
        const int frameHeight = frame.bottom - frame.top;
        POINT place = {0, 0};
        if (suggested != nullptr) {
            place = {suggested->left, suggested->top};
        } else {
            RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
            place = {area.left + (area.right - area.left - frameWidth) / 2,
                     area.top + (area.bottom - area.top - frameHeight) / 2};
        }
        SetWindowPos(window, nullptr, place.x, place.y, frameWidth, frameHeight,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // Brings the window in line with the reports: hidden while no procedure runs, shown once one
    // has run for a second, its controls set only where they changed.
    void Refresh(HWND window) {
        EnterCriticalSection(&lock_);
        const Reports reports = reports_;
        LeaveCriticalSection(&lock_);
        if (!reports.active) {
            KillTimer(window, kRedrawTimer);
            ShowWindow(window, SW_HIDE);
            shown_ = false;
            return;
        }
        SetTimer(window, kRedrawTimer, kRedrawInterval, nullptr);
        if (!shown_ && GetTickCount64() - reports.began < kShowDelay)
            return;
        Draw(reports);
        if (!shown_) {
            ShowWindow(window, SW_SHOWNORMAL);
            UpdateWindow(window);
            if (cancel_ != nullptr)
                SetFocus(cancel_);
            shown_ = true;
        }
    }

    // Asks the run to stop, once; the next draw tells that it is stopping, until the work gives
    // up and the window goes as after any procedure.
    void PressCancel(HWND window) {
        if (cancel_ == nullptr || !IsWindowEnabled(cancel_) || !IsWindowVisible(window))
            return;
        RequestStop();
        EnableWindow(cancel_, FALSE);
    }

    void Draw(const Reports& reports) {
        const std::wstring& work =
            StopRequested() ? stoppingText_ : workTexts_[static_cast<int>(reports.work)];
        if (work != drawnWork_) {
            SetWindowTextW(workLabel_, work.c_str());
            drawnWork_ = work;
        }
        if (reports.item != drawnItem_) {
            SetWindowTextW(itemLabel_, reports.item.c_str());
            drawnItem_ = reports.item;
        }
        const bool marquee = reports.total == kNoTotal;
        if (marquee != marquee_) {
            const LONG_PTR style = GetWindowLongPtrW(bar_, GWL_STYLE);
            SetWindowLongPtrW(bar_, GWL_STYLE,
                              marquee ? style | PBS_MARQUEE : style & ~PBS_MARQUEE);
            SendMessageW(bar_, PBM_SETMARQUEE, marquee ? TRUE : FALSE, kMarqueeInterval);
            marquee_ = marquee;
        }
        if (!marquee) {
            const uint64_t done =
                reports.total == 0 ? kBarRange : reports.done * kBarRange / reports.total;
            SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(done), 0);
        }
    }

    std::wstring caption_;
    std::array<std::wstring, kProgressWorkCount> workTexts_;
    std::wstring cancelText_;
    std::wstring stoppingText_;
    bool offerCancel_;

    CRITICAL_SECTION lock_;
    Reports reports_;  // under lock_

    HANDLE thread_ = nullptr;
    HANDLE ready_ = nullptr;
    HWND window_ = nullptr;  // written by the window's thread before it signals ready_

    // The window's thread alone touches these.
    HWND workLabel_ = nullptr;
    HWND itemLabel_ = nullptr;
    HWND bar_ = nullptr;
    HWND cancel_ = nullptr;  // only where Cancel is offered
    HFONT font_ = nullptr;
    bool shown_ = false;
    bool marquee_ = false;
    std::wstring drawnWork_;
    std::wstring drawnItem_;
};

}  // namespace

std::unique_ptr<ProgressReceiver> MakeProgressDisplay(const std::string& caption,
                                                      const ProgressTexts& texts,
                                                      bool offerCancel) {
    return std::make_unique<ProgressWindow>(caption, texts, offerCancel);
}

}  // namespace updater::platform
