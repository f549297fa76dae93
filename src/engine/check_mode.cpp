#include "engine/check_mode.h"

#include <new>
#include <utility>
#include <vector>

#include "checks/check_kinds.h"
#include "core/system_queries.h"
#include "engine/kind_table.h"
#include "engine/list_items.h"
#include "engine/run_journal.h"
#include "engine/startup.h"
#include "engine/switch_kind.h"
#include "platform/system.h"
#include "settings/error_box.h"
#include "settings/expansion.h"
#include "settings/process_values.h"
#include "settings/profile_reader.h"
#include "settings/run_log.h"

namespace updater {
namespace {

struct Problem {
    std::string proc;
    std::string key;
    std::string text;
};

// The findings of the one check a process makes.
std::vector<Problem> g_problems;
std::vector<std::string> g_visited;
// The SWITCH sections whose branches are being checked: a branch back to one is a cycle.
std::vector<std::string> g_switchPath;
// What the real loaders reported, held until the check's own readers have named the keys.
std::vector<std::string> g_loadErrors;
std::string g_proc;
bool g_errorFound = false;

bool SameName(const std::string& a, const std::string& b) {
    return String(a.c_str()).EqualsNoCase(String(b.c_str()));
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& each : names) {
        if (SameName(each, name))
            return true;
    }
    return false;
}

// A message's line breaks as single spaces, so that each finding is one line of the report.
// What the check says, in plain words, with the message a run would stop with.
constexpr const char* kKeyMissing =
    "the key is missing or too long: loading stops here (message 2)";
constexpr const char* kListEmpty = "the list is empty: the procedure stops here (message 4)";
constexpr const char* kNamesNoProcedure =
    " names no procedure of the list it stands in (message 6)";

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string OneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (c != '\n' && c != '\r')
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    return line;
}

// A problem is told once, however many readers meet it.
void Report(const std::string& key, bool isError, const std::string& text) {
    for (const Problem& problem : g_problems) {
        if (SameName(problem.proc, g_proc) && problem.key == key && problem.text == text)
            return;
    }
    g_problems.push_back({g_proc, key, text});
    g_errorFound = g_errorFound || isError;
    platform::WriteStandardError(std::string(isError ? "error" : "warning") + ": [" + g_proc +
                                 "] " + key + ": " + OneLine(text) + "\n");
    LogProblem(g_proc.c_str(), key.c_str(), isError, text.c_str());
}

// The real loaders' messages, caught while the check runs.
void CollectLoadError(const std::string& text) {
    g_loadErrors.push_back(text);
}

void ReportLoadErrors() {
    for (const std::string& text : g_loadErrors)
        Report("", true, text);
    g_loadErrors.clear();
}

std::vector<std::string> Names(const String& list) {
    String items = list;
    std::vector<std::string> names;
    const int count = items.CountTokens(",");
    for (int i = 0; i < count; ++i)
        names.push_back(GetListItem(items, i).CStr());
    return names;
}

bool IsPathKey(const String& key) {
    for (const char* word : {"FROM", "TO", "FILE", "DIR", "SRC", "DST", "APP"}) {
        if (key.EqualsNoCase(word))
            return true;
    }
    return false;
}

// Marks the expansion could not resolve: an author may mean them, so they only warn.
void WarnUnresolved(const String& key, const String& value) {
    const std::string text = value.CStr();
    for (const char* marks : {"<>", "{}"}) {
        const auto open = text.find(marks[0]);
        if (open != std::string::npos && text.find(marks[1], open) != std::string::npos) {
            Report(key.CStr(), false, "\"" + text + "\" holds a symbol or call left unresolved");
            return;
        }
    }
}

void WarnDriveLetters(const String& key, const String& value) {
    if (platform::HasDriveLetters() || !IsPathKey(key))
        return;
    for (const std::string& item : Names(value)) {
        if (item.size() >= 2 && item[1] == ':' &&
            ((item[0] >= 'A' && item[0] <= 'Z') || (item[0] >= 'a' && item[0] <= 'z')))
            Report(key.CStr(), false, "\"" + item + "\" begins with a drive letter");
    }
}

using Values = std::vector<std::pair<std::string, std::string>>;

const std::string* ValueOf(const Values& values, const char* key) {
    for (const auto& value : values) {
        if (value.first == key)
            return &value.second;
    }
    return nullptr;
}

// Reads every key the kind's loader reads, so that all missing ones are told, not the first.
Values ReadValues(const ProcedureKind& kind, bool& keyMissing) {
    Values values;
    keyMissing = false;
    String keys = kind.keys;
    const int count = keys.CountTokens(",");
    for (int i = 0; i < count; ++i) {
        const String key = GetListItem(keys, i);
        String value;
        if (!ReadProfileText(SettingsPath, g_proc.c_str(), key.CStr(), value)) {
            Report(key.CStr(), true, kKeyMissing);
            keyMissing = true;
            continue;
        }
        ExpandValue(value);
        WarnUnresolved(key, value);
        WarnDriveLetters(key, value);
        values.emplace_back(key.CStr(), value.CStr());
    }
    return values;
}

// What the executors would report with message 4 or 6 before doing anything.
void CheckValues(const ProcedureKind& kind, const Values& values,
                 const std::vector<std::string>& list) {
    const std::string* listValue = kind.listKey ? ValueOf(values, kind.listKey) : nullptr;
    if (listValue != nullptr && String(listValue->c_str()).CountTokens(",") == 0)
        Report(kind.listKey, true, kListEmpty);
    // SWITCH and MSGBOX look a procedure up in the list they stand in.
    if (const std::string* proc =
            SameName(kind.mode, "SWITCH") ? ValueOf(values, "PROC") : nullptr) {
        String target = proc->c_str();
        target.Trim(" ");
        if (!Contains(list, target.CStr()))
            Report("PROC", true, Quoted(*proc) + kNamesNoProcedure);
    }
    if (!SameName(kind.mode, "MSGBOX"))
        return;
    const std::string* condition = ValueOf(values, "FLAG");
    String conditionText = condition ? condition->c_str() : "";
    String target = conditionText.GetToken(0, ",");
    target.Trim(" ");
    if (condition != nullptr && conditionText.CountTokens(",") >= 2 &&
        !Contains(list, target.CStr()))
        Report("FLAG", true, Quoted(*condition) + kNamesNoProcedure);
    const std::string* type = ValueOf(values, "TYPE");
    if (type != nullptr && !IsBoxType(String(type->c_str())))
        Report("TYPE", true,
               Quoted(*type) + " is not ERROR, INFORMATION, WARNING or QUESTION (message 6)");
}

void Plan(const String& mode, const Values& values) {
    std::string line = mode.CStr();
    const std::string* from = ValueOf(values, "FROM");
    const std::string* to = ValueOf(values, "TO");
    if (from != nullptr && to != nullptr && values.size() == 2) {
        line += " " + *from + " -> " + *to;
    } else {
        for (const auto& value : values)
            line += " " + value.first + "=" + value.second;
    }
    platform::WriteStandardError("plan: [" + g_proc + "] " + line + "\n");
    LogPlan(g_proc.c_str(), mode.CStr(), values);
}

void CheckList(const String& names, const char* branchKey);

void CheckBranches(const Values& values) {
    // A run refuses a branch this deep (it holds as many lists), so the check stops there too.
    const int depth = static_cast<int>(g_switchPath.size()) + 1;
    const std::string* branches[] = {ValueOf(values, "0"), ValueOf(values, "1")};
    for (const std::string* branch : branches) {
        if (depth >= kMaxBranchDepth && branch != nullptr &&
            String(branch->c_str()).CountTokens(",") > 0) {
            Report("", true, "branches nest deeper than a run allows here (message 6)");
            return;
        }
    }
    g_switchPath.push_back(g_proc);
    for (const char* key : {"0", "1"}) {
        if (const std::string* branch = ValueOf(values, key))
            CheckList(String(branch->c_str()), key);
    }
    g_switchPath.pop_back();
}

void CheckProcedure(const std::string& name, const std::vector<std::string>& list) {
    g_proc = name;
    String section;
    if (ReadSection(SettingsPath, name.c_str(), section) == 0) {
        Report("", true, "the section [" + name + "] does not exist");
        return;
    }
    String mode;
    if (!ReadProfileText(SettingsPath, name.c_str(), "MODE", mode)) {
        Report("MODE", true, kKeyMissing);
        return;
    }
    ExpandValue(mode);
    const ProcedureKind* kind = FindKind(mode);
    if (kind == nullptr) {
        Report("MODE", true, Quoted(mode.CStr()) + " names no kind of procedure (message 6)");
        return;
    }
    bool keyMissing = false;
    const Values values = ReadValues(*kind, keyMissing);
    // The real loader too, so that nothing it would stop at goes unseen; a missing key it stops
    // at has been told already.
    delete kind->load(String(name.c_str()));
    if (keyMissing)
        g_loadErrors.clear();
    bool rollback = false;
    ReadRollbackSetting(rollback);
    ReportLoadErrors();
    CheckValues(*kind, values, list);
    Plan(String(kind->mode), values);
    if (SameName(kind->mode, "SWITCH"))
        CheckBranches(values);
}

// A name that leads back to a SWITCH being checked is a cycle: told as a warning, since a bounded
// retry may be meant, and not followed.
void CheckList(const String& names, const char* branchKey) {
    const std::vector<std::string> list = Names(names);
    for (const std::string& name : list) {
        if (branchKey != nullptr && Contains(g_switchPath, name)) {
            g_proc = g_switchPath.back();
            Report(branchKey, false,
                   "the branch leads back to " + name + ", which is being checked");
            continue;
        }
        if (Contains(g_visited, name))
            continue;
        g_visited.push_back(name);
        CheckProcedure(name, list);
    }
}

void CheckScript() {
    g_proc = "UPDATER";
    if (!PathExists(SettingsPath.CStr())) {
        ReportLoadErrors();
        return;
    }
    String unused;
    bool keyMissing = false;
    for (const char* key : {"NAME", "PROC"}) {
        if (!ReadProfileText(SettingsPath, "UPDATER", key, unused)) {
            Report(key, true, kKeyMissing);
            keyMissing = true;
        }
    }
    if (keyMissing)
        g_loadErrors.clear();
    bool rollback = false;
    ReadRollbackSetting(rollback);
    ReportLoadErrors();
    if (g_errorFound)
        return;
    if (UpdaterProc.CountTokens(",") == 0) {
        Report("PROC", true, kListEmpty);
        return;
    }
    CheckList(UpdaterProc, nullptr);
}

}  // namespace

bool CheckRequested() {
    std::string value;
    return platform::GetEnvironmentText("UPDATER_CHECK", value) && value == "1";
}

int CheckUpdater(const std::string& commandLine) {
    g_problems.clear();
    g_visited.clear();
    g_switchPath.clear();
    g_loadErrors.clear();
    g_errorFound = false;
    g_proc = "UPDATER";
    CollectErrors(CollectLoadError);
    try {
        StartUp(commandLine.c_str());
        CheckScript();
    } catch (const std::bad_alloc&) {
        Report("", true, ErrorText(kMsgOutOfMemory, "Updater"));
    }
    CollectErrors(nullptr);
    LogEnd(g_errorFound ? RunResult::kError : RunResult::kDone);
    return g_errorFound ? 1 : 0;
}

}  // namespace updater
