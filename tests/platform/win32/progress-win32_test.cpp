#include <windows.h>

#include <gtest/gtest.h>

#include "platform/progress.h"

namespace updater::platform {
namespace {

// The window of this process, hidden or not; null while there is none.
HWND ProgressWindow() {
    return FindWindowExW(nullptr, nullptr, L"UpdaterProgressWindow", L"Test");
}

// The window comes only once a procedure has run for a while, and is gone as soon as the
// procedure ends or a message box comes: neither may leave it standing in front of a box. Without
// a display (Wine without one) no window can be made, and the work must go on all the same.
TEST(ProgressWindow, ShownForLongWorkAndGoneWhenItEnds) {
    auto display = MakeProgressDisplay(
        "Test", {{"copying", "moving", "deleting", "waiting"}, "cancel", "stopping"}, false);
    ASSERT_NE(display, nullptr);
    display->Begin("Short", ProgressWork::kCopying, 10);
    display->Item("C:\\short.txt");
    display->Advance(10);
    display->End(true);
    const bool windowMade = ProgressWindow() != nullptr;
    EXPECT_FALSE(windowMade && IsWindowVisible(ProgressWindow()));

    for (const bool aside : {false, true}) {
        display->Begin("Long", aside ? ProgressWork::kWaiting : ProgressWork::kCopying,
                       aside ? kNoTotal : 1000);
        display->Item("C:\\long\\file.bin");
        display->Advance(500);
        // Generous: the window's thread may be slow to get its turn, never this slow.
        for (int i = 0; i < 200 && windowMade && !IsWindowVisible(ProgressWindow()); ++i)
            Sleep(50);
        EXPECT_EQ(windowMade, windowMade && IsWindowVisible(ProgressWindow()));
        if (aside)
            display->StepAside();
        else
            display->End(true);
        EXPECT_FALSE(windowMade && IsWindowVisible(ProgressWindow()));
    }
    // Ending the run while a procedure shows ends the window's thread too.
    display->Begin("Last", ProgressWork::kDeleting, 3);
    display.reset();
    EXPECT_EQ(ProgressWindow(), nullptr);
    if (!windowMade)
        GTEST_SKIP() << "no display here: the window was not made";
}

}  // namespace
}  // namespace updater::platform
