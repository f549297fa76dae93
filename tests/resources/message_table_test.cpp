#include "resources/message_table.h"

#include <gtest/gtest.h>

#include <string>

#include "core/string.h"

namespace updater {
namespace {

TEST(MessageTable, HasIdsOneToFifteenWithoutSeven) {
    for (unsigned id = 1; id <= 15; ++id) {
        if (id == 7) {
            EXPECT_EQ(MessageText(id), nullptr);
        } else {
            ASSERT_NE(MessageText(id), nullptr) << id;
            EXPECT_NE(MessageText(id)[0], '\0') << id;
        }
    }
    EXPECT_EQ(MessageText(0), nullptr);
    EXPECT_EQ(MessageText(16), nullptr);
    EXPECT_EQ(MessageText(0xFFFFFFFFu), nullptr);
}

// Each message takes the arguments its callers pass: one or two texts (12: a text and a number).
TEST(MessageTable, PlaceholdersMatchTheArguments) {
    for (unsigned id : {1u, 3u, 5u, 6u, 10u, 13u}) {
        EXPECT_EQ(String(MessageText(id)).CountOf("%"), 1) << id;
        EXPECT_EQ(String(MessageText(id)).CountOf("\"%s\""), 1) << id;
    }
    for (unsigned id : {2u, 4u, 8u, 9u, 14u, 15u}) {
        EXPECT_EQ(String(MessageText(id)).CountOf("%"), 2) << id;
        EXPECT_EQ(String(MessageText(id)).CountOf("\"%s\""), 2) << id;
    }
    EXPECT_EQ(String(MessageText(11)).CountOf("%"), 0);
    EXPECT_EQ(String(MessageText(12)).CountOf("%"), 2);
}

TEST(MessageTable, SettingsFormatMessage) {
    String text;
    text.LoadFormat(2, "Setup", "MODE");
    EXPECT_STREQ(text.CStr(),
                 "設定ファイルのフォーマットが正しくありません。\n"
                 "\n"
                 "セクション\uFF1A\"Setup\"\n"
                 "パラメータ\uFF1A\"MODE\"");
}

TEST(MessageTable, FileNotFoundHasAsciiThenFullWidthColon) {
    String text;
    text.LoadFormat(1, "C:\\tool\\setup.ini");
    EXPECT_STREQ(text.CStr(),
                 "ファイルが見つかりません。\n"
                 "\n"
                 "ファイル:\uFF1A\"C:\\tool\\setup.ini\"");
}

TEST(MessageTable, AttributeIsEightUpperCaseHexDigits) {
    String text;
    text.LoadFormat(12, "a.txt", 0x2Au);
    EXPECT_STREQ(text.CStr(),
                 "ファイル属性の変更に失敗しました。\n"
                 "\n"
                 "ファイル\uFF1A\"a.txt\"\n"
                 "属性\uFF1A0x0000002A");
    text.LoadFormat(12, "b", 0xFFFFFFFFu);
    EXPECT_NE(std::string(text.CStr()).find("0xFFFFFFFF"), std::string::npos);
}

TEST(MessageTable, ProcedureCountMessageHasNoArgument) {
    String text;
    text.LoadFormat(11);
    EXPECT_STREQ(text.CStr(), "プロシージャ数が正しくありません。");
    EXPECT_EQ(text.CountOf("\n"), 0);
}

TEST(MessageTable, OutOfMemoryAndCopyMessages) {
    String text;
    text.LoadFormat(3, "COPY_INFO");
    EXPECT_STREQ(text.CStr(),
                 "メモリが不足しています。\n"
                 "\n"
                 "オブジェクト\uFF1A\"COPY_INFO\"");
    text.LoadFormat(8, "a", "b");
    EXPECT_STREQ(text.CStr(),
                 "ファイルのコピーに失敗しました。\n"
                 "\n"
                 "転送元\uFF1A\"a\"\n"
                 "転送先\uFF1A\"b\"");
}

// However long the arguments, the whole message comes out.
TEST(MessageTable, LongArgumentsAreNotCut) {
    const std::string source(3000, 's');
    const std::string destination(3000, 'd');
    String text;
    text.LoadFormat(14, source.c_str(), destination.c_str());
    const std::string expected = std::string("ファイルの移動に失敗しました。\n\n転送元\uFF1A\"") +
                                 source + "\"\n転送先\uFF1A\"" + destination + "\"";
    EXPECT_EQ(std::string(text.CStr()), expected);
}

}  // namespace
}  // namespace updater
