#pragma once

#include "discovery/InventoryItem.h"

#include <string>
#include <vector>

// The preflight scan's result: found traces in the order the scanner found them.
struct UninstallInventory {
    std::vector<InventoryItem> items;

    std::vector<InventoryItem> itemsIn(InventoryItem::Category category) const;

    // Categories with at least one item, always in declaration order.
    std::vector<InventoryItem::Category> categoriesPresent() const;

    // "Nothing found." or one "[Label]" line per present category followed by its
    // "  - title: detail[ (admin)]" lines, joined by line feeds, no trailing line feed.
    std::string summaryText() const;

    bool operator==(const UninstallInventory&) const = default;
};
