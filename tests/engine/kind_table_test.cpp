#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/kind_table.h"
#include "engine/list_items.h"
#include "settings/error_box.h"
#include "support/script_fixture.h"

namespace updater {
namespace {

using testing::Message;
using KindTableTest = testing::ScriptTest;

const char* const kModes[] = {"EXIST",  "DATE",    "SWITCH",   "MSGBOX",  "COPY", "LAUNCH",
                              "DELETE", "LINK",    "OSVER",    "MAKEDIR", "ATTR", "CRC",
                              "MOVE",   "WAITAPP", "APPEXIST", "VERIFY"};

std::vector<std::string> Keys(const ProcedureKind& kind) {
    String keys = kind.keys;
    std::vector<std::string> names;
    for (int i = 0; i < keys.CountTokens(","); ++i)
        names.push_back(GetListItem(keys, i).CStr());
    return names;
}

// The check reads the keys the table lists instead of the loaders: each kind's loader must take a
// section holding exactly those keys and refuse it, naming the key, when any one is missing.
TEST_F(KindTableTest, KeysAreWhatEachLoaderReads) {
    for (const char* mode : kModes) {
        const ProcedureKind* kind = FindKind(String(mode));
        ASSERT_NE(kind, nullptr) << mode;
        const std::vector<std::string> keys = Keys(*kind);
        for (std::size_t missing = 0; missing <= keys.size(); ++missing) {
            std::string script = std::string("[P]\nMODE=") + mode + "\n";
            for (std::size_t k = 0; k < keys.size(); ++k) {
                if (k != missing)
                    script += keys[k] + "=1\n";
            }
            WriteScript(script);
            std::unique_ptr<Procedure> record(kind->load(String("P")));
            EXPECT_EQ(record != nullptr, missing == keys.size()) << mode << " " << missing;
            if (missing < keys.size()) {
                EXPECT_EQ(BoxTexts().back(), Message(2, "P", keys[missing].c_str())) << mode;
            }
        }
        if (kind->listKey != nullptr) {
            EXPECT_NE(std::find(keys.begin(), keys.end(), kind->listKey), keys.end()) << mode;
        }
    }
}

TEST_F(KindTableTest, CollectedErrorsShowNoBox) {
    static std::vector<std::string> collected;
    collected.clear();
    CollectErrors([](const std::string& text) { collected.push_back(text); });
    ShowError(kMsgBadItemCount, "P", "FILE");
    CollectErrors(nullptr);
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(collected, std::vector<std::string>{Message(4, "P", "FILE")});
    EXPECT_EQ(ErrorText(kMsgBadSymbol, "X"), Message(6, "X"));
    ShowError(kMsgBadSymbol, "X");
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(6, "X")});
}

}  // namespace
}  // namespace updater
