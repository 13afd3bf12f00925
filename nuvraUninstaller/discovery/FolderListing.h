#pragma once

#include <functional>
#include <string>
#include <string_view>

// Shallow listing of one folder in the order the file system returns the names (no sorting, "."
// and ".." left out, hidden names included). Calls `visit` once per name.
namespace FolderListing {

// False when the folder cannot be opened (missing, not a folder, unreadable): nothing visited.
bool forEachName(const std::string& folder, const std::function<void(std::string_view)>& visit);

} // namespace FolderListing
