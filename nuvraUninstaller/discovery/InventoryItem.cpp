#include "discovery/InventoryItem.h"

std::string_view rawValue(InventoryItem::Category category) {
    switch (category) {
    case InventoryItem::Category::apps:
        return "Apps";
    case InventoryItem::Category::inputMethod:
        return "Input method";
    case InventoryItem::Category::data:
        return "Data & settings";
    case InventoryItem::Category::permissions:
        return "Permissions";
    }
    return {};
}

std::optional<InventoryItem::Category> categoryFromRawValue(std::string_view raw) {
    for (InventoryItem::Category category : allCategories) {
        if (rawValue(category) == raw) {
            return category;
        }
    }
    return std::nullopt;
}
