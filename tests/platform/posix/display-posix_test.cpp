#include "platform/posix/internal-posix.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstring>

#include "platform/posix/scoped_environment.h"

namespace updater::platform::posix {
namespace {

TEST(LocalX11SocketPath, FindsTheSocketOfALocalDisplay) {
    EXPECT_EQ(LocalX11SocketPath(":0"), "/tmp/.X11-unix/X0");
    EXPECT_EQ(LocalX11SocketPath(":12.1"), "/tmp/.X11-unix/X12");
    EXPECT_EQ(LocalX11SocketPath("unix:3"), "/tmp/.X11-unix/X3");
}

TEST(LocalX11SocketPath, KnowsNoSocketForOtherNames) {
    EXPECT_EQ(LocalX11SocketPath("localhost:10.0"), std::nullopt);
    EXPECT_EQ(LocalX11SocketPath(":"), std::nullopt);
    EXPECT_EQ(LocalX11SocketPath(":x"), std::nullopt);
    EXPECT_EQ(LocalX11SocketPath("0"), std::nullopt);
    EXPECT_EQ(LocalX11SocketPath(""), std::nullopt);
}

TEST(WaylandSocketPath, IsBelowTheRuntimeDirectoryUnlessAbsolute) {
    EXPECT_EQ(WaylandSocketPath("wayland-0", "/run/user/1000"), "/run/user/1000/wayland-0");
    EXPECT_EQ(WaylandSocketPath("/tmp/w", ""), "/tmp/w");
    EXPECT_EQ(WaylandSocketPath("wayland-0", ""), std::nullopt);
}

class DisplayAvailable : public ::testing::Test {
  protected:
    // A listening Unix socket in the temporary directory, standing for a display server.
    std::string MakeSocket(const std::string& name) {
        std::string path = directory_.path() + "/" + name;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        socket_ = socket(AF_UNIX, SOCK_STREAM, 0);
        EXPECT_EQ(bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        return path;
    }
    ~DisplayAvailable() override {
        if (socket_ >= 0) {
            close(socket_);
        }
    }

    test_support::TemporaryDirectory directory_;
    test_support::ScopedVariable wayland_{"WAYLAND_DISPLAY", std::nullopt};
    test_support::ScopedVariable display_{"DISPLAY", std::nullopt};
    test_support::ScopedVariable runtime_{"XDG_RUNTIME_DIR", std::nullopt};
    int socket_ = -1;
};

TEST_F(DisplayAvailable, IsFalseWithoutADisplayName) {
    EXPECT_FALSE(IsDisplayAvailable());
}

TEST_F(DisplayAvailable, IsFalseForALocalDisplayWithoutSocket) {
    setenv("DISPLAY", ":987", 1);
    EXPECT_FALSE(IsDisplayAvailable());
    setenv("WAYLAND_DISPLAY", "wayland-987", 1);
    setenv("XDG_RUNTIME_DIR", directory_.path().c_str(), 1);
    EXPECT_FALSE(IsDisplayAvailable());
}

TEST_F(DisplayAvailable, TrustsADisplayOnAnotherHost) {
    setenv("DISPLAY", "localhost:10.0", 1);
    EXPECT_TRUE(IsDisplayAvailable());
}

TEST_F(DisplayAvailable, FindsAWaylandSocket) {
    MakeSocket("wayland-1");
    setenv("WAYLAND_DISPLAY", "wayland-1", 1);
    setenv("XDG_RUNTIME_DIR", directory_.path().c_str(), 1);
    EXPECT_TRUE(IsDisplayAvailable());
}

TEST_F(DisplayAvailable, WantsASocketNotAFile) {
    std::string path = directory_.path() + "/wayland-2";
    close(creat(path.c_str(), 0600));
    setenv("WAYLAND_DISPLAY", path.c_str(), 1);
    EXPECT_FALSE(IsDisplayAvailable());
}

}  // namespace
}  // namespace updater::platform::posix
