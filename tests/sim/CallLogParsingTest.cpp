#include "SimMac.h"

#include <gtest/gtest.h>

namespace {

TEST(CallLogParsing, DecodesEscapesNonAsciiAndSurrogatePairs) {
    const auto calls = SimMac::parseCallLog(
        "[\"/usr/bin/defaults\", \"export\", \"com.apple.HIToolbox\", \"-\"]\n"
        "[\"/usr/bin/pkill\", \"-f\", \"a \\\"quoted\\\" \\\\ path\\nline\\ttab\\u0001\"]\n"
        "[\"/usr/bin/security\", \"caf\xC3\xA9\", \"\\u00e9\\ud83d\\ude00\"]\n"
        "[]\n");
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0], (SimMac::Call{"/usr/bin/defaults", "export", "com.apple.HIToolbox", "-"}));
    EXPECT_EQ(calls[1][2], "a \"quoted\" \\ path\nline\ttab\x01");
    EXPECT_EQ(calls[2][1], "caf\xC3\xA9");
    EXPECT_EQ(calls[2][2], "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_TRUE(calls[3].empty());
}

TEST(CallLogParsing, SkipsLinesThatAreNotStringArrays) {
    const auto calls = SimMac::parseCallLog("garbage\n[\"unterminated\n[1, 2]\n[\"ok\"]\n\n");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (SimMac::Call{"ok"}));
}

} // namespace
