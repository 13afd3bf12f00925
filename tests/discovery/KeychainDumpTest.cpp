#include "discovery/KeychainDump.h"

#include <gtest/gtest.h>

namespace {

using KeychainDump::parseNuvraAccounts;
using Accounts = std::vector<std::string>;

TEST(KeychainDump, KeepsDistinctProductAccountsSorted) {
    const std::string dump = "keychain: \"/Users/u/Library/Keychains/login.keychain-db\"\n"
                             "class: \"genp\"\n"
                             "attributes:\n"
                             "    \"acct\"<blob>=\"ai.nuvra.auth.session\"\n"
                             "    \"svce\"<blob>=\"ai.nuvra.auth.session\"\n"
                             "    \"acct\"<blob>=\"com.nuvra.agent\"\n"
                             "    \"acct\"<blob>=\"ai.nuvra.auth.pendingPKCE\"\n"
                             "\n\n"
                             "    \"acct\"<blob>=\"ai.nuvra.auth.session\"\n"
                             "    \"acct\"<blob>=\"AI.NUVRA.upper\"\n"
                             "    \"acct\"<blob>=\"someone@example.com\"\n"
                             "    \"acct\"<blob>=<NULL>\n"
                             "    \"acct\"<blob>=\"ai.nuvra.a\"";
    EXPECT_EQ(parseNuvraAccounts(dump),
              (Accounts{"ai.nuvra.a", "ai.nuvra.auth.pendingPKCE", "ai.nuvra.auth.session"}));
    // Each item counts: the removal deletes them one run at a time.
    using Counts = std::map<std::string, std::size_t, std::less<>>;
    EXPECT_EQ(KeychainDump::countNuvraAccounts(dump), (Counts{{"ai.nuvra.a", 1},
                                                              {"ai.nuvra.auth.pendingPKCE", 1},
                                                              {"ai.nuvra.auth.session", 2}}));
}

TEST(KeychainDump, TakesTheFirstAttributeOfALineAndSkipsUnclosedValues) {
    // Only the first attribute of a line counts, even when a later one would have matched.
    EXPECT_EQ(parseNuvraAccounts("\"acct\"<blob>=\"other\" \"acct\"<blob>=\"ai.nuvra.second\""),
              Accounts{});
    EXPECT_EQ(parseNuvraAccounts("\"acct\"<blob>=\"ai.nuvra.x\" \"acct\"<blob>=\"ai.nuvra.y\""),
              Accounts{"ai.nuvra.x"});
    // A value whose closing quote is on the next line is not joined across the line feed.
    EXPECT_EQ(parseNuvraAccounts("\"acct\"<blob>=\"ai.nuvra.cut\nrest\""), Accounts{});
    // The attribute text is matched exactly.
    EXPECT_EQ(parseNuvraAccounts("\"ACCT\"<blob>=\"ai.nuvra.x\"\n\"acct\"<blob>\"ai.nuvra.y\""),
              Accounts{});
    EXPECT_EQ(parseNuvraAccounts(""), Accounts{});
}

TEST(KeychainDump, ReadsAccountsAroundBytesThatAreNotText) {
    // A dump cut off mid-item, with stray non-UTF-8 bytes elsewhere, still yields what it holds.
    std::string dump = "    \"acct\"<blob>=\"ai.nuvra.auth.session\"\n";
    dump += "    \"gena\"<blob>=\"\xff\xfe\x80\"\n";
    dump += "    \"acct\"<blob>=\"ai.nuvra.tail";
    EXPECT_EQ(parseNuvraAccounts(dump), Accounts{"ai.nuvra.auth.session"});
}

} // namespace
