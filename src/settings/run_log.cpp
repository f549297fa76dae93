#include "settings/run_log.h"

#include <cstdio>

#include "platform/file_system.h"
#include "platform/system.h"

namespace updater {
namespace {

// Empty when no log is kept.
std::string g_logPath;

void WriteEvent(const std::string& json) {
    if (g_logPath.empty())
        return;
    platform::AppendToFile(g_logPath, json + "\n");
}

// The length of the valid UTF-8 sequence at `p`, or 0 when it is not one.
size_t Utf8SequenceLength(const unsigned char* p) {
    const unsigned char lead = p[0];
    size_t length = 0;
    unsigned minimum = 0;
    unsigned codePoint = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, codePoint = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, codePoint = lead & 0x07u;
    } else {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (p[i] & 0x3Fu);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < minimum || codePoint > 0x10FFFF || surrogate)
        return 0;
    return length;
}

void AppendEscaped(std::string& out, unsigned char c) {
    switch (c) {
        case '"':
            out += "\\\"";
            return;
        case '\\':
            out += "\\\\";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        case '\b':
            out += "\\b";
            return;
        case '\f':
            out += "\\f";
            return;
        default:
            break;
    }
    if (c < 0x20) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        out += escape;
    } else {
        out += static_cast<char>(c);
    }
}

}  // namespace

std::string JsonQuote(const char* text) {
    std::string out = "\"";
    const auto* p = reinterpret_cast<const unsigned char*>(text ? text : "");
    while (*p) {
        if (*p < 0x80) {
            AppendEscaped(out, *p++);
        } else if (size_t length = Utf8SequenceLength(p)) {
            out.append(reinterpret_cast<const char*>(p), length);
            p += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++p;
        }
    }
    return out + "\"";
}

void StartRunLog() {
    g_logPath.clear();
    platform::GetEnvironmentText("UPDATER_LOG", g_logPath);
}

void LogStart(const char* caption, const char* settingsPath) {
    WriteEvent("{\"event\":\"start\",\"caption\":" + JsonQuote(caption) +
               ",\"settings\":" + JsonQuote(settingsPath) + "}");
}

void LogBox(const char* caption, const char* text, unsigned style, int answer) {
    WriteEvent("{\"event\":\"box\",\"caption\":" + JsonQuote(caption) +
               ",\"text\":" + JsonQuote(text) + ",\"style\":" + std::to_string(style) +
               ",\"answer\":" + std::to_string(answer) + "}");
}

namespace {

// A failed procedure names the change the system refused last, the one that stopped it; a failure
// of the program's own (a root the guard refuses, a missing source) has none to name.
std::string RefusalFields(bool ok) {
    const platform::RefusedCall& refused = platform::LastFailure();
    if (ok || refused.code == 0)
        return "";
    return ",\"item\":" + JsonQuote(refused.path.c_str()) +
           ",\"code\":" + std::to_string(refused.code) +
           ",\"reason\":" + JsonQuote(platform::ErrorText(refused.code).c_str());
}

}  // namespace

void LogProcedure(const char* name, const char* mode, bool ok, bool flag) {
    WriteEvent("{\"event\":\"proc\",\"name\":" + JsonQuote(name) + ",\"mode\":" + JsonQuote(mode) +
               ",\"ok\":" + (ok ? "true" : "false") + ",\"flag\":" + (flag ? "true" : "false") +
               RefusalFields(ok) + "}");
}

void LogProblem(const char* proc, const char* key, bool isError, const char* text) {
    WriteEvent("{\"event\":\"problem\",\"proc\":" + JsonQuote(proc) + ",\"key\":" + JsonQuote(key) +
               ",\"severity\":\"" + (isError ? "error" : "warning") +
               "\",\"text\":" + JsonQuote(text) + "}");
}

void LogPlan(const char* proc, const char* mode,
             const std::vector<std::pair<std::string, std::string>>& values) {
    std::string object;
    for (const auto& value : values)
        object += (object.empty() ? "" : ",") + JsonQuote(value.first.c_str()) + ":" +
                  JsonQuote(value.second.c_str());
    WriteEvent("{\"event\":\"plan\",\"proc\":" + JsonQuote(proc) + ",\"mode\":" + JsonQuote(mode) +
               ",\"values\":{" + object + "}}");
}

void LogProgress(const char* proc, uint64_t done, std::optional<uint64_t> total, const char* unit) {
    WriteEvent("{\"event\":\"progress\",\"proc\":" + JsonQuote(proc) + ",\"done\":" +
               std::to_string(done) + ",\"total\":" + (total ? std::to_string(*total) : "null") +
               ",\"unit\":" + JsonQuote(unit) + "}");
}

void LogUndo(const char* action, const char* path, bool ok) {
    WriteEvent(std::string("{\"event\":\"undo\",\"action\":\"") + action +
               "\",\"path\":" + JsonQuote(path) + ",\"ok\":" + (ok ? "true" : "false") + "}");
}

void LogEnd(RunResult result) {
    const char* word = result == RunResult::kDone    ? "done"
                       : result == RunResult::kError ? "error"
                                                     : "aborted";
    WriteEvent(std::string("{\"event\":\"end\",\"result\":\"") + word + "\"}");
}

}  // namespace updater
