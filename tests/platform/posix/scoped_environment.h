#pragma once

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>
#include <optional>
#include <string>

#include "support/temp_directory.h"

// Test helpers: an environment variable set or unset for one test, the shared temporary
// directory under its name here, and a child process for calls that might hang or kill their
// caller.
namespace updater::platform::posix::test_support {

class ScopedVariable {
  public:
    // Sets the variable to `value`, or unsets it for nullopt.
    ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = getenv(name)) {
            saved_ = old;
        }
        Apply(value);
    }
    ~ScopedVariable() { Apply(saved_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    void Apply(const std::optional<std::string>& value) {
        if (value) {
            setenv(name_.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }

    std::string name_;
    std::optional<std::string> saved_;
};

using TemporaryDirectory = updater::testing::TempDirectory;

// Runs `body` (returning an exit code) in a forked child and returns that code: 125 when `body`
// threw, -1 when the child was killed by a signal, such as the alarm that ends it when it is still
// running after `watchdogSeconds`. A call that regresses into hanging so fails, not hangs.
template <typename Body>
int ExitCodeInChild(Body body, unsigned watchdogSeconds = 30) {
    const pid_t child = fork();
    if (child == 0) {
        alarm(watchdogSeconds);
        // The child must never return into the test runner, not even by an exception.
        try {
            _exit(body());
        } catch (...) {
            _exit(125);
        }
    }
    int status = 0;
    pid_t waited = -1;
    while (child > 0 && (waited = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    return waited == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace updater::platform::posix::test_support
