#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// One kind of product trace found by the preflight scan.
struct InventoryItem {
    enum class Category { apps, inputMethod, data, permissions };

    std::string id; // stable key, unique within one inventory ("tis", "data", "Apps:<path>", …)
    Category category = Category::apps;
    std::string title;
    std::string detail;
    bool requiresAdmin = false;
    bool informational = false;

    bool operator==(const InventoryItem&) const = default;
};

// Categories in declaration order, with their display labels as raw values.
inline constexpr std::array<InventoryItem::Category, 4> allCategories{
    InventoryItem::Category::apps, InventoryItem::Category::inputMethod,
    InventoryItem::Category::data, InventoryItem::Category::permissions};

std::string_view rawValue(InventoryItem::Category category);
std::optional<InventoryItem::Category> categoryFromRawValue(std::string_view raw);
