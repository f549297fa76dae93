#include "fuzz_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sanitizer/common_interface_defs.h>

#include "settings/run_log.h"
#include "settings/unattended.h"
#include "support/temp_directory.h"

namespace updater::fuzz {

const std::string& TemporaryArea() {
    static const testing::TempDirectory area;
    if (!area.ok()) {
        std::fprintf(stderr, "fuzz: no temporary directory below $TMPDIR\n");
        std::abort();
    }
    return area.path();
}

std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
    static long long writes = 0;
    const std::string native = TemporaryArea() + "/" + name;
    std::ofstream(native, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    std::filesystem::last_write_time(
        native, std::filesystem::file_time_type(std::chrono::seconds(++writes)));
    std::string engine = native;
    std::replace(engine.begin(), engine.end(), '/', '\\');
    return engine;
}

void SetUpQuietProcess() {
    const std::string home = TemporaryArea() + "/home";
    std::filesystem::create_directories(home);
    setenv("HOME", home.c_str(), 1);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "UPDATER_LOG", "UPDATER_CHECK",
                             "UPDATER_REGISTRY", "DISPLAY", "WAYLAND_DISPLAY"})
        unsetenv(name);
    setenv("UPDATER_ANSWERS", "", 1);
    StartUnattendedMode();
    StartRunLog();
}

bool RewriteByBlockOperations(String& text, char open, char close, const BlockResolver& resolve,
                              bool& changed, size_t giveUpLength) {
    const char o[] = {open, '\0'};
    const char c[] = {close, '\0'};
    const int passes = text.CountBlocks(o, c);
    changed = false;
    for (int pass = 0, index = 0; pass < passes; ++pass) {
        String replacement;
        if (resolve(text.GetBlock(index, o, c), replacement)) {
            text.ReplaceBlock(index, o, c, replacement.CStr());
            changed = true;
        } else {
            ++index;
        }
        if (static_cast<size_t>(text.GetLength()) > giveUpLength)
            return false;
    }
    return true;
}

void Require(bool holds, const char* property) {
    if (holds)
        return;
    // Through the sanitizers' report, which libFuzzer keeps when it closes standard error.
    __sanitizer_report_error_summary((std::string("fuzz: property broken: ") + property).c_str());
    std::abort();
}

}  // namespace updater::fuzz
