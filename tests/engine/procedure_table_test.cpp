#include <gtest/gtest.h>

#include "engine/procedure_table.h"
#include "engine/switch_kind.h"
#include "settings/error_box.h"
#include "support/script_fixture.h"

namespace updater {
namespace {

using testing::Message;
using ProcedureTableTest = testing::ScriptTest;

TEST_F(ProcedureTableTest, LoadsPushesFindsAndFrees) {
    WriteScript("[A]\nMODE=OSVER\n[B]\nMODE=osver\n");
    ProcedureList list = LoadList(" A , B , a ", 3);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(CurrentList(), list);
    EXPECT_EQ(ListCount(), 1);
    EXPECT_STREQ(list[1]->name.CStr(), "B");
    EXPECT_STREQ(list[1]->mode.CStr(), "osver");
    EXPECT_EQ(list[3], nullptr);
    EXPECT_EQ(FindProcedure(list, "a"), list[0]);
    EXPECT_EQ(FindProcedure(list, "C"), nullptr);
    EXPECT_EQ(FindProcedure(nullptr, "A"), nullptr);
    EXPECT_TRUE(RunList(list));
    EXPECT_TRUE(list[0]->flag);
    EXPECT_EQ(FreeList(list), 0);
    EXPECT_EQ(CurrentList(), nullptr);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(ProcedureTableTest, LoadFailuresShowOneMessageAndLeaveNothingLoaded) {
    WriteScript("[A]\nMODE=OSVER\n[C]\nMODE=NOPE\n[E]\nMODE=EXIST\n");
    EXPECT_EQ(LoadList("A,,C", 3), nullptr);
    EXPECT_EQ(LoadList("A,C", 2), nullptr);
    EXPECT_EQ(LoadList("A,E", 2), nullptr);
    EXPECT_EQ(LoadList("", 0), nullptr);
    EXPECT_EQ(CurrentList(), nullptr);
    const std::vector<std::string> expected = {Message(2, "", "MODE"), Message(6, "NOPE"),
                                               Message(2, "E", "FILE"), Message(11)};
    EXPECT_EQ(BoxTexts(), expected);
}

TEST_F(ProcedureTableTest, RemoveListTakesAnyEntryAndFreeAllEmptiesTheStack) {
    WriteScript("[A]\nMODE=OSVER\n");
    ProcedureList first = LoadList("A", 1);
    ProcedureList second = LoadList("A", 1);
    ProcedureList third = LoadList("A", 1);
    EXPECT_EQ(RemoveList(second), 2);
    EXPECT_EQ(CurrentList(), third);
    EXPECT_EQ(RemoveList(second), 2);
    EXPECT_EQ(FreeList(third), 1);
    EXPECT_EQ(CurrentList(), first);
    PushList(second);
    FreeAllLists();
    EXPECT_EQ(ListCount(), 0);
}

TEST_F(ProcedureTableTest, SwitchRunsBranchListsOneLevelHigher) {
    WriteScript(
        "[Os]\nMODE=OSVER\n[S]\nMODE=SWITCH\nPROC= os \n0=\n1=Inner\n"
        "[Inner]\nMODE=SWITCH\nPROC=Os\n0=\n1=\n");
    ProcedureList list = LoadList("Os,S", 2);
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(RunList(list));
    EXPECT_EQ(ListCount(), 2);  // the failed branch stays until everything is freed
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(6, "Os")});
}

TEST_F(ProcedureTableTest, SwitchLoopStopsAtTheDepthBoundWithOneBox) {
    WriteScript("[Loop]\nMODE=SWITCH\nPROC=Loop\n0=Loop\n1=Loop\n");
    ProcedureList list = LoadList("Loop", 1);
    EXPECT_FALSE(RunList(list));
    EXPECT_EQ(ListCount(), kMaxBranchDepth);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(6, "Loop")});
    FreeAllLists();
    EXPECT_EQ(CurrentList(), nullptr);
}

}  // namespace
}  // namespace updater
