#include "discovery/UninstallInventory.h"

#include "Utf8.h"

#include <algorithm>

std::vector<InventoryItem> UninstallInventory::itemsIn(InventoryItem::Category category) const {
    std::vector<InventoryItem> found;
    std::copy_if(items.begin(), items.end(), std::back_inserter(found),
                 [category](const InventoryItem& item) { return item.category == category; });
    return found;
}

std::vector<InventoryItem::Category> UninstallInventory::categoriesPresent() const {
    std::vector<InventoryItem::Category> present;
    for (InventoryItem::Category category : allCategories) {
        const bool any = std::any_of(items.begin(), items.end(), [category](const auto& item) {
            return item.category == category;
        });
        if (any) {
            present.push_back(category);
        }
    }
    return present;
}

std::string UninstallInventory::summaryText() const {
    if (items.empty()) {
        return "Nothing found.";
    }
    std::string text;
    auto appendLine = [&text](std::string_view line) {
        if (!text.empty()) {
            text += '\n';
        }
        text += line;
    };
    for (InventoryItem::Category category : categoriesPresent()) {
        appendLine("[" + std::string(rawValue(category)) + "]");
        for (const InventoryItem& item : itemsIn(category)) {
            // Titles and details carry names from disk: one item is always one line of text.
            std::string line =
                "  - " + utf8::visible(item.title) + ": " + utf8::visible(item.detail);
            if (item.requiresAdmin) {
                line += " (admin)";
            }
            appendLine(line);
        }
    }
    return text;
}
