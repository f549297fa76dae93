#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace updater::testing {

// A fresh directory for one test, removed with everything in it afterwards. Entries a test made
// read-only are made writable again first, so that it can always be removed; links are removed as
// links, never followed. Paths come in both forms: native ("/tmp/x/a") and the engine's
// ("\tmp\x\a").
class TempDirectory {
  public:
    explicit TempDirectory(const std::string& parent = std::filesystem::temp_directory_path()) {
        std::string pattern = parent + "/updater-test-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr)
            native_ = pattern;
    }
    ~TempDirectory() {
        namespace fs = std::filesystem;
        if (native_.empty())
            return;
        std::error_code ignored;
        fs::permissions(native_, fs::perms::owner_all, fs::perm_options::add, ignored);
        for (const auto& entry : fs::recursive_directory_iterator(native_, ignored)) {
            if (!entry.is_symlink())
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
        fs::remove_all(native_, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    bool ok() const { return !native_.empty(); }
    const std::string& path() const { return native_; }
    std::string Native(const std::string& relative) const {
        return relative.empty() ? native_ : native_ + "/" + relative;
    }
    std::string Engine(const std::string& relative) const { return ToEngine(Native(relative)); }

    void Write(const std::string& relative, const std::string& content) const {
        std::filesystem::create_directories(std::filesystem::path(Native(relative)).parent_path());
        std::ofstream(Native(relative), std::ios::binary) << content;
    }
    std::string Read(const std::string& relative) const {
        std::ifstream in(Native(relative), std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }
    void MakeDir(const std::string& relative) const {
        std::filesystem::create_directories(Native(relative));
    }
    void ClearWrite(const std::string& relative) const {
        namespace fs = std::filesystem;
        fs::permissions(Native(relative),
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
    std::set<std::string> Names(const std::string& relative = "") const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Native(relative)))
            names.insert(entry.path().filename().string());
        return names;
    }

    // The engine writes paths with backslashes.
    static std::string ToEngine(std::string native) {
        for (char& c : native) {
            if (c == '/')
                c = '\\';
        }
        return native;
    }

  private:
    std::string native_;
};

}  // namespace updater::testing
