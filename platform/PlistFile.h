#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace PlistFile {

// The text entry `key` of the property-list file at `path` whose root is a dictionary; none when
// the file is missing, larger than `limit`, not a property list, or the entry is missing or not
// text.
std::optional<std::string> textEntry(const std::string& path, const std::string& key,
                                     std::size_t limit);

} // namespace PlistFile
