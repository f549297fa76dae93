#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "platform/file_changes.h"

namespace updater::platform::backend {
namespace {

// A later run removes only what a run of this program left: any name it does not write exactly
// could belong to someone else.
TEST(TemporaryNamesTest, OnlyTheExactNamesAreRecognised) {
    EXPECT_EQ(TemporaryEntryName(".", 4321, 0x1a2b), ".~updater-4321-1a2b.tmp");
    EXPECT_EQ(TemporaryEntryName("", 4321, 0), "~updater-4321-0.tmp");
    uint32_t process = 0;
    for (const uint32_t id : {1u, 4321u, 4294967295u}) {
        for (const uint64_t serial : {uint64_t{0}, uint64_t{0xabc}, ~uint64_t{0}}) {
            ASSERT_TRUE(ParseTemporaryEntryName(TemporaryEntryName(".", id, serial), ".", process));
            EXPECT_EQ(process, id);
        }
    }
    for (const char* alike :
         {".~updater-4321-1A2B.tmp", ".~updater-04321-1a2b.tmp", ".~updater-4321-01a2b.tmp",
          ".~updater-0-1.tmp", ".~updater-4294967296-1.tmp", ".~updater-4321-10000000000000000.tmp",
          ".~updater-4321.tmp", ".~updater--1.tmp", ".~updater-4321-.tmp", ".~updater-43x1-1.tmp",
          ".~updater-4321-1-2.tmp", ".~updater-4321-1.TMP", ".~updater-4321-1.tmp~",
          "~updater-4321-1.tmp", "..~updater-4321-1.tmp", ".~Updater-4321-1.tmp",
          ".~updater-+4321-1.tmp", ".~updater-.tmp"})
        EXPECT_FALSE(ParseTemporaryEntryName(alike, ".", process)) << alike;
    EXPECT_TRUE(ParseTemporaryEntryName("~updater-4321-1.tmp", "", process));
    EXPECT_FALSE(ParseTemporaryEntryName(".~updater-4321-1.tmp", "", process));
}

}  // namespace
}  // namespace updater::platform::backend
