#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/temp_directory.h"

namespace updater::testing {

struct ShownBox {
    std::string caption;
    std::string text;
    unsigned style = 0;
    int answer = 0;
};

// A temporary directory holding a settings file, an unattended run with a run log, and empty
// process-wide tables; boxes shown during the test are read back from the log.
class ScriptTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the settings file (line feeds become CR LF) and makes it the running script's.
    void WriteScript(const std::string& text);
    void WriteFile(const std::string& relative, const std::string& content);
    // A path inside the directory, as the engine writes paths.
    std::string EnginePath(const std::string& relative = "") const;
    std::string NativePath(const std::string& relative = "") const;
    std::vector<ShownBox> Boxes() const;
    std::vector<std::string> BoxTexts() const;
    // Restarts unattended mode with this answer list.
    void Answer(const std::string& answers);

    std::unique_ptr<TempDirectory> directory_;
};

// The text users must see for message `id` (from the expected texts the end-to-end harness reads
// too), formatted with two arguments or fewer; with a text and a number for message 12.
std::string Message(unsigned id, const char* first = "", const char* second = "");
std::string Message(unsigned id, const char* first, unsigned number);

}  // namespace updater::testing
