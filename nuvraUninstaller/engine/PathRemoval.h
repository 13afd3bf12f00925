#pragma once

#include <optional>
#include <string>
#include <system_error>

// Deleting the product's traces without ever reaching outside them. A symbolic link met anywhere
// (the path itself or anything inside a folder being removed) is removed as a link; its target is
// never touched. Folders are walked through descriptors opened relative to their parent, so a
// folder swapped for a link while we work cannot redirect the deletion either; only the folder
// being worked on is held open, so a tree of any depth needs a small, fixed number of descriptors.
namespace PathRemoval {

// True when something (a file, folder or link, even a dangling one) is at `path` itself.
bool exists(const std::string& path);

// Removes `path` and, for a folder, everything in it. Keeps going past entries it cannot delete
// and reports the first error; a missing path is no error.
std::error_code removeRecursively(const std::string& path);

// The removal rule every step applies: nothing when absent or removed, else the warning
// "Could not remove <path>." (the system's reason goes to the developer log only).
std::optional<std::string> removeIfPresent(const std::string& path);

} // namespace PathRemoval
