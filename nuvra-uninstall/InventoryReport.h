#pragma once

#include "JsonText.h"
#include "discovery/UninstallInventory.h"

#include <string>

// The preflight scan as the command prints it.
namespace InventoryReport {

inline constexpr int schemaVersion = 1;

// Exactly what the application's inventory mode prints: the summary and one line feed.
std::string text(const UninstallInventory& inventory);

// {"schemaVersion", "needsAdmin", "items": [{"id", "category", "title", "detail",
// "requiresAdmin", "informational"}]}, the items in the summary's order (grouped by category).
Json json(const UninstallInventory& inventory);

// One item as it stands in "items": {"id", "category", "title", "detail", "requiresAdmin",
// "informational"}.
Json itemJson(const InventoryItem& item);

// Some item that is not informational: there is something to remove.
bool somethingToRemove(const UninstallInventory& inventory);
bool needsAdmin(const UninstallInventory& inventory);

} // namespace InventoryReport
