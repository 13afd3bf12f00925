#pragma once

#include <chrono>
#include <optional>

// When a file was created (its birth time), which POSIX does not ask file systems to keep.
namespace FileBirthTime {

// The creation time of the entry `name` in the folder open as `folderDescriptor`, without
// following a symbolic link; none when the entry is gone or its file system keeps no birth time.
std::optional<std::chrono::system_clock::time_point> of(int folderDescriptor, const char* name);

} // namespace FileBirthTime
