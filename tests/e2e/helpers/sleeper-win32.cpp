// The Windows stand-in for sleep(1) in the end-to-end cases: a console program that waits the
// number of seconds given as its argument, then ends.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    const unsigned long seconds = argc > 1 ? std::wcstoul(argv[1], nullptr, 10) : 0;
    Sleep(static_cast<DWORD>(seconds * 1000));
    return 0;
}
