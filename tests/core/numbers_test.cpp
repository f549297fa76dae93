#include "core/numbers.h"

#include <gtest/gtest.h>

namespace updater {
namespace {

TEST(ParseDecimal, ReadsLeadingNumbersAndClampsHugeOnes) {
    int value = 7;
    EXPECT_TRUE(ParseDecimal(" \t-42abc", value));
    EXPECT_EQ(value, -42);
    EXPECT_TRUE(ParseDecimal("+12", value));
    EXPECT_EQ(value, 12);
    EXPECT_TRUE(ParseDecimal("99999999999", value));
    EXPECT_EQ(value, 2147483647);
    EXPECT_TRUE(ParseDecimal("-99999999999", value));
    EXPECT_EQ(value, -2147483647 - 1);
    value = 7;
    EXPECT_FALSE(ParseDecimal("abc", value));
    EXPECT_FALSE(ParseDecimal("", value));
    EXPECT_FALSE(ParseDecimal("- 1", value));
    EXPECT_EQ(value, 7);
}

TEST(ParseHex, NeedsTheLowerCasePrefixAndKeepsThirtyTwoBits) {
    unsigned value = 7;
    EXPECT_TRUE(ParseHex("0x1f", value));
    EXPECT_EQ(value, 31u);
    EXPECT_TRUE(ParseHex("0xFFFFFFFF", value));
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_TRUE(ParseHex("0x123456789", value));
    EXPECT_EQ(value, 0xFFFFFFFFu);
    value = 7;
    EXPECT_FALSE(ParseHex("0X1F", value));
    EXPECT_FALSE(ParseHex("1F", value));
    EXPECT_FALSE(ParseHex(" 0x1F", value));
    EXPECT_FALSE(ParseHex("0x", value));
    EXPECT_FALSE(ParseHex("0xg", value));
    EXPECT_EQ(value, 7u);
}

}  // namespace
}  // namespace updater
