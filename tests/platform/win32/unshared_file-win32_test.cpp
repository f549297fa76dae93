#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/file_system.h"
#include "temp_directory-win32.h"

namespace updater::platform {
namespace {

// Files read for their checksums: nobody else may open one while it is read, a file that anyone
// holds open (even sharing it) is not opened at all, and only disk files are.
TEST(UnsharedFile, SharesWithNobodyAndReadsOnlyDiskFiles) {
    win32::TempDirectory dir;
    const std::string file = dir.Write("data.bin", "x");
    const auto openShared = [&file] {
        return CreateFileW(win32::Widen(file).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    {
        UnsharedFile reader;
        ASSERT_TRUE(reader.Open(file));
        EXPECT_EQ(openShared(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    HANDLE holder = openShared();
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    UnsharedFile reader;
    EXPECT_FALSE(reader.Open(file));
    CloseHandle(holder);
    EXPECT_TRUE(reader.Open(file));
    EXPECT_FALSE(reader.Open(dir.path()));
    EXPECT_FALSE(reader.Open("NUL"));
}

}  // namespace
}  // namespace updater::platform
