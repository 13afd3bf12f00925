#include "discovery/UninstallInventory.h"

#include <gtest/gtest.h>

namespace {

using Category = InventoryItem::Category;

InventoryItem item(std::string id, Category category, std::string title, std::string detail,
                   bool requiresAdmin = false, bool informational = false) {
    return {std::move(id),     category,      std::move(title),
            std::move(detail), requiresAdmin, informational};
}

TEST(InventoryModel, EmptyInventoryRendersNothingFoundAndHasNoCategories) {
    const UninstallInventory empty;
    EXPECT_EQ(empty.summaryText(), "Nothing found.");
    EXPECT_TRUE(empty.categoriesPresent().empty());
}

TEST(InventoryModel, CategoryLabelsRoundTripExactlyAndNothingElse) {
    EXPECT_EQ(rawValue(Category::apps), "Apps");
    EXPECT_EQ(rawValue(Category::inputMethod), "Input method");
    EXPECT_EQ(rawValue(Category::data), "Data & settings");
    EXPECT_EQ(rawValue(Category::permissions), "Permissions");
    for (Category category : allCategories) {
        EXPECT_EQ(categoryFromRawValue(rawValue(category)), category);
    }
    EXPECT_EQ(categoryFromRawValue("apps"), std::nullopt);
    EXPECT_EQ(categoryFromRawValue("Apps "), std::nullopt);
    EXPECT_EQ(categoryFromRawValue(""), std::nullopt);
}

TEST(InventoryModel, MatchesTheDocumentedExample) {
    const UninstallInventory inventory{{
        item("Apps:/Applications/nuvra.app", Category::apps, "nuvra.app", "/Applications", true),
        item("data", Category::data, "Settings and app data", "3 items"),
    }};
    EXPECT_EQ(inventory.summaryText(), "[Apps]\n"
                                       "  - nuvra.app: /Applications (admin)\n"
                                       "[Data & settings]\n"
                                       "  - Settings and app data: 3 items");
}

TEST(InventoryModel, NamesFromDiskPrintOnOneLineAsValidText) {
    const UninstallInventory inventory{{
        item("ime:a", Category::inputMethod, "nuvraInput\n  - Forged line.app",
             "/Library/Input Methods", true),
        item("ime:b", Category::inputMethod, "Caf\xc3\xa9 \xff\t\x1b[2J.app",
             "/Users/\xe5\xb0\x8f\xe6\x9e\x97/Library/Input Methods"),
    }};
    EXPECT_EQ(inventory.summaryText(),
              "[Input method]\n"
              "  - nuvraInput\\n  - Forged line.app: /Library/Input Methods (admin)\n"
              "  - Caf\xc3\xa9 \\xFF\\t\\x1B[2J.app: /Users/\xe5\xb0\x8f\xe6\x9e\x97/Library/Input "
              "Methods");
}

TEST(InventoryModel, GroupsScatteredItemsUnderOneHeaderInFixedCategoryOrder) {
    // Found order deliberately interleaves categories and starts with the last one.
    const UninstallInventory inventory{{
        item("tcc", Category::permissions, "Records", "Will be reset", false, true),
        item("data", Category::data, "First data", "2 items"),
        item("ime:a", Category::inputMethod, "a.app", "/Library/Input Methods", true),
        item("keychain", Category::data, "Second data", "1 item"),
        item("ime:b", Category::inputMethod, "b.app", "~/Library/Input Methods"),
    }};

    EXPECT_EQ(inventory.categoriesPresent(),
              (std::vector{Category::inputMethod, Category::data, Category::permissions}));

    const auto data = inventory.itemsIn(Category::data);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(data[0].id, "data");
    EXPECT_EQ(data[1].id, "keychain");
    EXPECT_TRUE(inventory.itemsIn(Category::apps).empty());

    EXPECT_EQ(inventory.summaryText(), "[Input method]\n"
                                       "  - a.app: /Library/Input Methods (admin)\n"
                                       "  - b.app: ~/Library/Input Methods\n"
                                       "[Data & settings]\n"
                                       "  - First data: 2 items\n"
                                       "  - Second data: 1 item\n"
                                       "[Permissions]\n"
                                       "  - Records: Will be reset");
}

TEST(InventoryModel, InformationalFlagNeverChangesTheRendering) {
    const UninstallInventory onlyInformational{{
        item("tcc", Category::permissions, "Microphone and Accessibility records", "Will be reset",
             false, true),
    }};
    EXPECT_EQ(onlyInformational.summaryText(),
              "[Permissions]\n  - Microphone and Accessibility records: Will be reset");

    const UninstallInventory informationalAdmin{{
        item("x", Category::apps, "x.app", "/Applications", true, true),
    }};
    EXPECT_EQ(informationalAdmin.summaryText(), "[Apps]\n  - x.app: /Applications (admin)");
}

} // namespace
