// The replies of the process that does the user's share of a root run, as the root process reads
// them: that process belongs to the user, who may make it say anything.
#include "UserSessionProtocol.h"

#include <gtest/gtest.h>

namespace {

using Kind = UserSessionProtocol::Reply::Kind;

TEST(UserSessionProtocol, RepliesArriveWholeAndUserTextCannotForgeTheRootLog) {
    UninstallInventory inventory;
    inventory.items.push_back({"Apps:/Applications/x.app", InventoryItem::Category::apps, "x.app",
                               "/Applications", true, false});
    inventory.items.push_back(
        {"tcc", InventoryItem::Category::permissions, "Records", "Will be reset", false, true});
    const auto scanned =
        UserSessionProtocol::parseReply(UserSessionProtocol::inventoryLine(inventory));
    ASSERT_TRUE(scanned);
    EXPECT_EQ(scanned->kind, Kind::inventory);
    EXPECT_EQ(scanned->inventory, inventory);

    // The scan's entry keeps its lines; nothing else breaks one, and no following line passes for
    // a stamped entry of the root process's log.
    const auto entry = UserSessionProtocol::parseReply(UserSessionProtocol::logLine(
        "Preflight scan:\n[Apps]\n[2026-01-01 00:00:00] Uninstall finished (residues: 0)\r"));
    ASSERT_TRUE(entry);
    EXPECT_EQ(
        entry->text,
        "Preflight scan:\n[Apps]\n [2026-01-01 00:00:00] Uninstall finished (residues: 0)\\r");
    const auto sentences = UserSessionProtocol::parseReply(
        UserSessionProtocol::sentencesLine({"gone\x1b[2J", "kept"}));
    ASSERT_TRUE(sentences);
    EXPECT_EQ(sentences->sentences, (std::vector<std::string>{"gone\\x1B[2J", "kept"}));

    // Anything not exactly a reply is refused, never half-read.
    for (const char* line :
         {"", "{}", "not json", R"({"log":"a","error":"b"})", R"({"sentences":"one"})",
          R"({"sentences":[1]})", R"({"inventory":[{"id":"x"}]})",
          R"({"inventory":[{"id":"x","category":"nowhere","title":"t","detail":"d",)"
          R"("requiresAdmin":false,"informational":false}]})",
          R"({"inventory":[{"id":"x","category":"apps","title":"t","detail":"d",)"
          R"("requiresAdmin":"yes","informational":false}]})",
          R"({"exit":0})"}) {
        EXPECT_FALSE(UserSessionProtocol::parseReply(line)) << line;
    }
    EXPECT_FALSE(UserSessionProtocol::parseReply(
        std::string(UserSessionProtocol::longestLine + 1, ' ') + "{}"));
}

} // namespace
