#include <gtest/gtest.h>

#include "engine/startup.h"

namespace updater {
namespace {

String CaptionOf(const char* commandLine, bool* found = nullptr) {
    String text = commandLine;
    String caption = "unset";
    const bool ok = ParseCaptionSwitch(text, caption);
    if (found)
        *found = ok;
    return ok ? caption : String("<none>");
}

TEST(ParseCaptionSwitch, TakesTheFirstWordAfterSlashTOrDashT) {
    EXPECT_STREQ(CaptionOf("/tSetup").CStr(), "Setup");
    EXPECT_STREQ(CaptionOf("-tSetup").CStr(), "Setup");
    EXPECT_STREQ(CaptionOf("/t\"Setup Tool\" /s").CStr(), "Setup Tool");
    EXPECT_STREQ(CaptionOf("-tOne /tTwo").CStr(), "Two");
    EXPECT_STREQ(CaptionOf("C:/temp x").CStr(), "emp");
    EXPECT_STREQ(CaptionOf("").CStr(), "<none>");
    EXPECT_STREQ(CaptionOf("/TSetup").CStr(), "<none>");
    bool found = false;
    EXPECT_STREQ(CaptionOf("/t Setup", &found).CStr(), "");
    EXPECT_TRUE(found);
}

TEST(SettingsPathFor, ReplacesTheExtensionOfTheProgramNameOnly) {
    const auto settingsOf = [](const char* module) {
        String path = module;
        return std::string(SettingsPathFor(path).CStr());
    };
    EXPECT_EQ(settingsOf("C:\\Tools\\Setup.exe"), "C:\\Tools\\Setup.ini");
    EXPECT_EQ(settingsOf("C:\\dir.d\\prog"), "C:\\dir.d\\prog.ini");
    EXPECT_EQ(settingsOf("\\opt\\tool\\setup"), "\\opt\\tool\\setup.ini");
    EXPECT_EQ(settingsOf("\\opt\\a.b\\setup.tar.gz"), "\\opt\\a.b\\setup.tar.ini");
    EXPECT_EQ(settingsOf("\\opt\\.setup"), "\\opt\\.setup.ini");
}

}  // namespace
}  // namespace updater
