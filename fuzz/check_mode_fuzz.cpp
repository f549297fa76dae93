// A whole script checked as UPDATER_CHECK=1 checks it: start-up, [DEFINE], [UPDATER] and every
// list the script can reach, with the run log's JSON written to /dev/null. The input is the script
// beside the program, which also stands for the registry. The check shows no box, starts nothing
// and changes nothing; and a script it passes loads its list in a run.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/check_mode.h"
#include "engine/procedure_table.h"
#include "engine/startup.h"
#include "fuzz_support.h"
#include "platform/overrides.h"
#include "settings/error_box.h"
#include "settings/run_log.h"

namespace {

using updater::fuzz::Require;

std::vector<std::string> g_loadErrors;

void CollectLoadError(const std::string& text) {
    g_loadErrors.push_back(text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    updater::fuzz::SetUpQuietProcess();
    const std::string program = updater::fuzz::TemporaryArea() + "/setup";
    setenv("UPDATER_REGISTRY", (program + ".ini").c_str(), 1);
    setenv("UPDATER_LOG", "/dev/null", 1);
    updater::StartRunLog();
    std::string engine = program;
    for (char& c : engine)
        c = c == '/' ? '\\' : c;
    updater::platform::overrides::SetModuleFile(engine);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    updater::fuzz::WriteInput("setup.ini", data, size);
    updater::ForgetShownErrors();
    const int code = updater::CheckUpdater("/tFuzz \"a b\" c");
    Require(code == 0 || code == 1, "the check exits with 0 or 1");
    Require(!updater::ErrorWasShown(), "the check shows no box");
    if (code != 0)
        return 0;
    g_loadErrors.clear();
    updater::CollectErrors(CollectLoadError);
    const updater::String& names = updater::UpdaterProc;
    const bool loaded =
        updater::LoadList(names, updater::String(names).CountTokens(",")) != nullptr;
    updater::CollectErrors(nullptr);
    updater::FreeAllLists();
    Require(loaded && g_loadErrors.empty(), "a script that passes the check loads its list");
    return 0;
}
