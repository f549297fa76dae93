#include <gtest/gtest.h>

#include "platform/dialog.h"
#include "settings/run_log.h"
#include "settings/unattended.h"
#include "support/script_fixture.h"

namespace updater {
namespace {

TEST(JsonQuote, EscapesControlsAndReplacesInvalidUtf8) {
    EXPECT_EQ(JsonQuote("a\"b\\c\nd\te\x01"), "\"a\\\"b\\\\c\\nd\\te\\u0001\"");
    EXPECT_EQ(JsonQuote("日本"), "\"日本\"");
    EXPECT_EQ(JsonQuote("x\xff"
                        "y\xe6\x97"),
              "\"x\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonQuote("\xed\xa0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");  // surrogate
    EXPECT_EQ(JsonQuote(nullptr), "\"\"");
}

using UnattendedTest = testing::ScriptTest;

TEST_F(UnattendedTest, AnswersAreTakenInOrderAndDefaultsFillTheRest) {
    const unsigned ok = 0x40, question = 0x24, warning = 0x134;
    Answer(" NO , cancel,Yes,,ok");
    EXPECT_TRUE(IsUnattended());
    EXPECT_EQ(TakeUnattendedAnswer(question), platform::kAnswerNo);
    EXPECT_EQ(TakeUnattendedAnswer(ok), platform::kAnswerOk);  // cancel does not fit an OK box
    EXPECT_EQ(TakeUnattendedAnswer(warning), platform::kAnswerYes);
    EXPECT_EQ(TakeUnattendedAnswer(warning), platform::kAnswerNo);    // empty item: the default
    EXPECT_EQ(TakeUnattendedAnswer(question), platform::kAnswerYes);  // ok does not fit
    EXPECT_EQ(TakeUnattendedAnswer(warning), platform::kAnswerNo);    // list used up
    EXPECT_EQ(TakeUnattendedAnswer(ok), platform::kAnswerOk);
}

}  // namespace
}  // namespace updater
