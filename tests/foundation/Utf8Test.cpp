#include "Utf8.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8, AcceptsEveryWellFormedLength) {
    EXPECT_TRUE(utf8::isValid(""));
    EXPECT_TRUE(utf8::isValid("plain ASCII long enough for the eight-byte path"));
    EXPECT_TRUE(utf8::isValid("caf\xc3\xa9"));                  // U+00E9
    EXPECT_TRUE(utf8::isValid("\xe2\x80\x94 \xe2\x80\xa6"));    // em dash, ellipsis
    EXPECT_TRUE(utf8::isValid("\xed\x9f\xbf"));                 // U+D7FF, just below surrogates
    EXPECT_TRUE(utf8::isValid("\xf0\x9f\x91\x8b"));             // emoji
    EXPECT_TRUE(utf8::isValid("\xf4\x8f\xbf\xbf"));             // U+10FFFF
    EXPECT_TRUE(utf8::isValid(std::string("nul\0inside", 10))); // NUL is a character
}

TEST(Utf8, RejectsMalformedSequences) {
    for (const char* bad : {
             "\xc0\x80",         // overlong NUL
             "\xc1\xbf",         // overlong two-byte
             "\xe0\x80\x80",     // overlong three-byte
             "\xf0\x80\x80\x80", // overlong four-byte
             "\xed\xa0\x80",     // high surrogate
             "\xed\xbf\xbf",     // low surrogate
             "\xf4\x90\x80\x80", // above U+10FFFF
             "\xf5\x80\x80\x80", // lead byte never used
             "\xff",
             "\x80",         // stray continuation
             "abcdefgh\xc3", // cut short after the fast ASCII path
             "\xe2\x80",     // cut short
             "\xe2\x28\xa1", // continuation missing
         }) {
        EXPECT_FALSE(utf8::isValid(bad)) << testing::PrintToString(std::string(bad));
    }
}

// At each edge of the control ranges: the control side is escaped, the printable side kept.
TEST(Utf8, VisibleEscapesControlCharactersAndKeepsTheirPrintableNeighbours) {
    EXPECT_EQ(utf8::visible("~\x7F"), "~\\x7F");                        // DEL after the last ASCII
    EXPECT_EQ(utf8::visible("\x1F \n\r\t"), "\\x1F \\n\\r\\t");         // C0 controls
    EXPECT_EQ(utf8::visible("\xc2\x9f\xc2\xa0"), "\\xC2\\x9F\xc2\xa0"); // C1 end, then NBSP
    EXPECT_EQ(utf8::visible("\u2028 caf\u00e9"), "\\xE2\\x80\\xA8 caf\u00e9"); // line separator
    EXPECT_EQ(utf8::visible("\xff"), "\\xFF");                                 // not UTF-8
}

} // namespace
