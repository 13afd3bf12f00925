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
    const auto error =
        UserSessionProtocol::parseReply(UserSessionProtocol::errorLine("no\n\x1b[2J"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->text, "no\\n\\x1B[2J");

    // Anything not exactly a reply is refused, never half-read. Each wrong item differs from a
    // good one in one field only, so that each is refused for that field.
    const std::string goodItem = R"({"id":"x","category":"Apps","title":"t","detail":"d",)"
                                 R"("requiresAdmin":false,"informational":false})";
    const auto inventoryOf = [&](const std::string& from, const std::string& to) {
        std::string item = goodItem;
        item.replace(item.find(from), from.size(), to);
        return R"({"inventory":[)" + item + "]}";
    };
    ASSERT_TRUE(UserSessionProtocol::parseReply(inventoryOf("{", "{")));
    const std::vector<std::string> refused{
        "",
        "{}",
        "not json",
        R"({"log":"a","error":"b"})",
        R"({"sentences":"one"})",
        R"({"sentences":[1]})",
        R"({"inventory":[{"id":"x"}]})",
        inventoryOf(R"("Apps")", R"("nowhere")"),
        inventoryOf(R"("x")", "7"),
        inventoryOf(R"("requiresAdmin":false)", R"("requiresAdmin":"yes")"),
        inventoryOf(R"("informational":false)", R"("informational":"yes")"),
        R"({"exit":0})"};
    for (const std::string& line : refused) {
        EXPECT_FALSE(UserSessionProtocol::parseReply(line)) << line;
    }
    // A reply of the right shape is refused for its length alone.
    EXPECT_FALSE(UserSessionProtocol::parseReply(
        UserSessionProtocol::logLine(std::string(UserSessionProtocol::longestLine, 'x'))));
}

} // namespace
