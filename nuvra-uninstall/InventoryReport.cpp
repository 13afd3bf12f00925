#include "InventoryReport.h"

#include <algorithm>

namespace InventoryReport {

std::string text(const UninstallInventory& inventory) {
    return inventory.summaryText() + "\n";
}

Json json(const UninstallInventory& inventory) {
    Json items = Json::array();
    for (InventoryItem::Category category : inventory.categoriesPresent()) {
        for (const InventoryItem& item : inventory.itemsIn(category)) {
            Json entry;
            entry["id"] = item.id;
            entry["category"] = std::string(rawValue(item.category));
            entry["title"] = item.title;
            entry["detail"] = item.detail;
            entry["requiresAdmin"] = item.requiresAdmin;
            entry["informational"] = item.informational;
            items.push_back(std::move(entry));
        }
    }
    return {{"schemaVersion", schemaVersion},
            {"needsAdmin", needsAdmin(inventory)},
            {"items", std::move(items)}};
}

bool somethingToRemove(const UninstallInventory& inventory) {
    return std::any_of(inventory.items.begin(), inventory.items.end(),
                       [](const InventoryItem& item) { return !item.informational; });
}

bool needsAdmin(const UninstallInventory& inventory) {
    return std::any_of(inventory.items.begin(), inventory.items.end(),
                       [](const InventoryItem& item) { return item.requiresAdmin; });
}

} // namespace InventoryReport
