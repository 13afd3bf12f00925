#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace SmallFile {

enum class Links { follow, refuse };

// The whole file as bytes, or none when it cannot be opened or read, or is larger than `limit`
// (so a corrupt or hostile file can never flood the caller). With Links::refuse a symbolic link
// at `path` is not opened.
std::optional<std::string> read(const std::string& path, std::size_t limit,
                                Links links = Links::follow);

} // namespace SmallFile
