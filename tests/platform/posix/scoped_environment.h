#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

// Test helpers: an environment variable set or unset for one test, and a temporary directory
// removed afterwards.
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

class TemporaryDirectory {
  public:
    TemporaryDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "updater-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace updater::platform::posix::test_support
