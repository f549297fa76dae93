#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace updater {

// The run log: when UPDATER_LOG names a file, every event of the run is appended to it as one JSON
// object per line. A log that cannot be written never stops the run.

enum class RunResult { kDone, kError, kAborted };

// Reads UPDATER_LOG; called once when a run starts.
void StartRunLog();
void LogStart(const char* caption, const char* settingsPath);
void LogBox(const char* caption, const char* text, unsigned style, int answer);
// A failed procedure also names the last change refused since platform::ClearLastFailure.
void LogProcedure(const char* name, const char* mode, bool ok, bool flag);
void LogEnd(RunResult result);
// How far one procedure has come: `total` is absent (null) for work without one; `unit` names
// what is counted ("bytes", "files", "programs").
void LogProgress(const char* proc, uint64_t done, std::optional<uint64_t> total, const char* unit);
// One change of a run undone: `action` is "restore", "remove" or "attributes".
void LogUndo(const char* action, const char* path, bool ok);
// A check's findings: one problem, and what one procedure would do with its values expanded.
void LogProblem(const char* proc, const char* key, bool isError, const char* text);
void LogPlan(const char* proc, const char* mode,
             const std::vector<std::pair<std::string, std::string>>& values);

// The text as a JSON string literal: standard escapes, invalid UTF-8 as U+FFFD.
std::string JsonQuote(const char* text);

}  // namespace updater
