#include "discovery/HIToolboxEntries.h"

#include <gtest/gtest.h>

namespace {

using plist::Array;
using plist::Dictionary;

Dictionary source(const std::string& id) {
    return {{"InputSourceKind", "Keyboard Input Method"}, {"Bundle ID", id}};
}

Dictionary layout(const std::string& name, int id) {
    return {{"InputSourceKind", "Keyboard Layout"},
            {"KeyboardLayout Name", name},
            {"KeyboardLayout ID", id}};
}

TEST(HIToolboxEntries, CountsProductEntriesInAnyLetterCaseAndAtAnyDepth) {
    const Dictionary nested{
        {"InputSourceKind", "Input Mode"},
        {"Details", Dictionary{{"Modes", Array{"x", Dictionary{{"Owner", "NuVrA"}}}}}}};
    const Dictionary settings{
        {"AppleEnabledInputSources",
         Array{layout("ABC", 252), source("ai.nuvra.inputmethod.NuvraInput"),
               source("AI.NUVRA.SHOUTING"), nested}},
        {"AppleSelectedInputSources", Array{layout("ABC", 252)}},
    };
    EXPECT_EQ(HIToolboxEntries::countProductEntries(settings), 3);
    EXPECT_TRUE(HIToolboxEntries::isProductEntry(nested));
    EXPECT_FALSE(HIToolboxEntries::isProductEntry(layout("U.S.", -31000)));
}

TEST(HIToolboxEntries, SumsTheFourKeysAndIgnoresEverythingElse) {
    const Dictionary ours = source("ai.nuvra.inputmethod.NuvraInput");
    const Dictionary settings{
        {"AppleEnabledInputSources", Array{ours}},
        {"AppleSelectedInputSources", Array{ours}},
        {"AppleInputSourceHistory", Array{ours, ours}},
        {"AppleDisabledInputSources", Array{ours}},
        // Keys outside the four never count, even when they mention the product.
        {"AppleCurrentKeyboardLayoutInputSourceID", "ai.nuvra.inputmethod.NuvraInput"},
        {"AppleFavoriteInputSources", Array{ours}},
    };
    EXPECT_EQ(HIToolboxEntries::countProductEntries(settings), 5);
}

TEST(HIToolboxEntries, ValuesOfOtherShapesHoldNothing) {
    const Dictionary settings{
        {"AppleEnabledInputSources", "nuvra"},
        {"AppleSelectedInputSources", Dictionary{{"nuvra", "nuvra"}}},
        // A list that is not made of dictionaries only is not an entry list.
        {"AppleInputSourceHistory", Array{source("nuvra"), "nuvra"}},
        {"AppleDisabledInputSources", Array{}},
    };
    EXPECT_EQ(HIToolboxEntries::countProductEntries(settings), 0);
    EXPECT_EQ(HIToolboxEntries::entryList(settings, "AppleInputSourceHistory"), nullptr);
    EXPECT_EQ(HIToolboxEntries::entryList(settings, "missing"), nullptr);
    ASSERT_NE(HIToolboxEntries::entryList(settings, "AppleDisabledInputSources"), nullptr);
    EXPECT_EQ(HIToolboxEntries::countProductEntries({}), 0);
}

} // namespace
