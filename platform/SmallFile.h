#pragma once

#include <cstddef>
#include <optional>
#include <string>

// Reading a small file someone else may have put in place: never a pipe or a device (opening one
// could wait for ever, reading one could never end), never more than the caller's limit.
namespace SmallFile {

enum class Links { follow, refuse };

struct Contents {
    enum class Outcome { read, missing, unreadable };
    Outcome outcome = Outcome::missing;
    std::string bytes; // for `read`
};

// The whole plain file at `path`: missing when nothing (or no folder) is there; unreadable when
// it cannot be opened or read, is not a plain file, or is larger than `limit`. With Links::refuse
// a symbolic link at `path` is not opened.
Contents load(const std::string& path, std::size_t limit, Links links = Links::follow);

// The bytes of a file load() can read, or none.
std::optional<std::string> read(const std::string& path, std::size_t limit,
                                Links links = Links::follow);

} // namespace SmallFile
