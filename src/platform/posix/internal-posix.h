#pragma once

#include <cstddef>
#include <optional>
#include <string>

// Open file descriptors of this backend: closed on every way out of the code that opened them;
// and the small reads and writes done through them.
namespace updater::platform::posix {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // Hands the descriptor over; it is no longer closed here.
    int Release();
    // Closes now and tells whether the close succeeded: a write error may first show there.
    bool Close();

  private:
    int fd_;
};

// Writes every byte, going on after interruptions and partial writes.
bool WriteAll(int fd, const char* data, std::size_t size);

// As WriteAll, for a descriptor that may be a pipe whose reader has gone: the write then fails
// (EPIPE) instead of SIGPIPE ending the process. The signal is held back on this thread only, so
// programs started later still get the default disposition.
bool WriteAllWithoutSigpipe(int fd, const char* data, std::size_t size);

// The most ReadSmallRegularFile returns.
constexpr std::size_t kSmallFileLimit = std::size_t{64} << 10;

// The content of a file this backend reads for its own purposes (under /proc, the XDG
// configuration), never waiting and never growing without bound: nothing unless it is a regular
// file, and at most its first kSmallFileLimit bytes.
std::optional<std::string> ReadSmallRegularFile(const std::string& path);

}  // namespace updater::platform::posix
