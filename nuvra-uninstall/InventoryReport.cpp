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
            items.push_back(itemJson(item));
        }
    }
    return {{"schemaVersion", schemaVersion},
            {"needsAdmin", needsAdmin(inventory)},
            {"items", std::move(items)}};
}

Json itemJson(const InventoryItem& item) {
    return {{"id", item.id},
            {"category", std::string(rawValue(item.category))},
            {"title", item.title},
            {"detail", item.detail},
            {"requiresAdmin", item.requiresAdmin},
            {"informational", item.informational}};
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
