#include "support/script_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/procedure_table.h"
#include "resources/message_table.h"
#include "settings/error_box.h"
#include "settings/process_values.h"
#include "settings/run_log.h"
#include "settings/symbol_table.h"
#include "settings/unattended.h"

namespace updater::testing {
namespace {

// The string value of `"key":"..."` in one log line, unescaped.
std::string JsonText(const std::string& line, const std::string& key) {
    const std::string marker = "\"" + key + "\":\"";
    size_t at = line.find(marker);
    if (at == std::string::npos)
        return "";
    std::string out;
    for (at += marker.size(); at < line.size() && line[at] != '"'; ++at) {
        if (line[at] != '\\') {
            out += line[at];
            continue;
        }
        const char escaped = line[++at];
        if (escaped == 'n')
            out += '\n';
        else if (escaped == 't')
            out += '\t';
        else if (escaped == 'r')
            out += '\r';
        else if (escaped == 'u') {
            out += static_cast<char>(std::stoi(line.substr(at + 1, 4), nullptr, 16));
            at += 4;
        } else {
            out += escaped;
        }
    }
    return out;
}

long JsonNumber(const std::string& line, const std::string& key) {
    const std::string marker = "\"" + key + "\":";
    const size_t at = line.find(marker);
    return at == std::string::npos ? -1
                                   : std::strtol(line.c_str() + at + marker.size(), nullptr, 10);
}

}  // namespace

void ScriptTest::SetUp() {
    directory_ = std::make_unique<TempDirectory>();
    ASSERT_TRUE(directory_->ok());
    setenv("UPDATER_LOG", NativePath("run.log").c_str(), 1);
    Answer("");
    StartRunLog();
    ForgetShownErrors();
    FreeAllLists();
    ClearSymbols();
    Caption = "Test";
    CommandLine = "";
}

void ScriptTest::TearDown() {
    FreeAllLists();
    ClearSymbols();
    unsetenv("UPDATER_LOG");
    unsetenv("UPDATER_ANSWERS");
    StartRunLog();
    directory_.reset();
}

void ScriptTest::Answer(const std::string& answers) {
    setenv("UPDATER_ANSWERS", answers.c_str(), 1);
    StartUnattendedMode();
}

void ScriptTest::WriteScript(const std::string& text) {
    std::string crlf;
    for (char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    WriteFile("setup.ini", crlf);
    SettingsPath = EnginePath("setup.ini").c_str();
}

void ScriptTest::WriteFile(const std::string& relative, const std::string& content) {
    const std::filesystem::path path = NativePath(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string ScriptTest::NativePath(const std::string& relative) const {
    return directory_->Native(relative);
}

std::string ScriptTest::EnginePath(const std::string& relative) const {
    return TempDirectory::ToEngine(NativePath(relative));
}

std::vector<ShownBox> ScriptTest::Boxes() const {
    std::vector<ShownBox> boxes;
    std::ifstream log(NativePath("run.log"));
    for (std::string line; std::getline(log, line);) {
        if (line.find("\"event\":\"box\"") == std::string::npos)
            continue;
        boxes.push_back({JsonText(line, "caption"), JsonText(line, "text"),
                         static_cast<unsigned>(JsonNumber(line, "style")),
                         static_cast<int>(JsonNumber(line, "answer"))});
    }
    return boxes;
}

std::vector<std::string> ScriptTest::BoxTexts() const {
    std::vector<std::string> texts;
    for (const ShownBox& box : Boxes())
        texts.push_back(box.text);
    return texts;
}

namespace {

// "id text" lines, "\n" standing for a line feed; "#" lines are comments.
std::map<unsigned, std::string> LoadExpectedMessages() {
    std::map<unsigned, std::string> messages;
    std::ifstream file(UPDATER_EXPECTED_MESSAGES);
    std::string line;
    while (std::getline(file, line)) {
        const size_t space = line.find(' ');
        if (line.empty() || line[0] == '#' || space == std::string::npos)
            continue;
        std::string text = line.substr(space + 1);
        for (size_t at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", at))
            text.replace(at, 2, "\n");
        messages[static_cast<unsigned>(std::stoul(line.substr(0, space)))] = text;
    }
    return messages;
}

const std::string& ExpectedFormat(unsigned id) {
    static const std::map<unsigned, std::string> messages = LoadExpectedMessages();
    static const std::string none;
    const auto found = messages.find(id);
    return found == messages.end() ? none : found->second;
}

template <typename... Arguments>
std::string Formatted(unsigned id, Arguments... arguments) {
    const std::string& format = ExpectedFormat(id);
    if (format.empty())
        return "";
    const int length = std::snprintf(nullptr, 0, format.c_str(), arguments...);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format.c_str(), arguments...);
    text.resize(static_cast<size_t>(length));
    return text;
}

}  // namespace

std::string Message(unsigned id, const char* first, const char* second) {
    return Formatted(id, first, second);
}

std::string Message(unsigned id, const char* first, unsigned number) {
    return Formatted(id, first, number);
}

}  // namespace updater::testing
