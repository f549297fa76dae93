#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/file_system.h"
#include "temp_directory-win32.h"

// Files read for their checksums: opened without sharing, read in pieces to their end.
namespace updater::platform {
namespace {

using win32::TempDirectory;
using win32::Widen;

HANDLE OpenShared(const std::string& path) {
    return CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(UnsharedFile, ReadsInPiecesToTheEnd) {
    TempDirectory dir;
    const std::string file = dir.Write("data.bin", "0123456789");
    UnsharedFile reader;
    ASSERT_TRUE(reader.Open(file));
    uint64_t size = 0;
    ASSERT_TRUE(reader.GetSize(size));
    EXPECT_EQ(size, 10u);
    std::string read;
    unsigned char piece[4];
    size_t count = 0;
    do {
        ASSERT_TRUE(reader.Read(piece, sizeof piece, count));
        read.append(reinterpret_cast<const char*>(piece), count);
    } while (count > 0);
    EXPECT_EQ(read, "0123456789");
}

// Nobody else may open the file while it is read, and a file that anyone holds open, even
// sharing it, is not opened at all.
TEST(UnsharedFile, SharesWithNobody) {
    TempDirectory dir;
    const std::string file = dir.Write("data.bin", "x");
    {
        UnsharedFile reader;
        ASSERT_TRUE(reader.Open(file));
        HANDLE other = OpenShared(file);
        EXPECT_EQ(other, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        if (other != INVALID_HANDLE_VALUE)
            CloseHandle(other);
    }
    HANDLE holder = OpenShared(file);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    UnsharedFile reader;
    EXPECT_FALSE(reader.Open(file));
    CloseHandle(holder);
    EXPECT_TRUE(reader.Open(file));
}

TEST(UnsharedFile, OnlyDiskFiles) {
    TempDirectory dir;
    UnsharedFile reader;
    EXPECT_FALSE(reader.Open(dir.path()));
    EXPECT_FALSE(reader.Open(dir / "missing"));
    EXPECT_FALSE(reader.Open("NUL"));
    uint64_t size = 0;
    EXPECT_FALSE(reader.GetSize(size));
}

}  // namespace
}  // namespace updater::platform
