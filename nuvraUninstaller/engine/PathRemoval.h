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
// "Could not remove <path>.", followed by what to allow when the system refused the removal
// (EPERM, EACCES; see AccessAdvice); the system's reason goes to the developer log only.
std::optional<std::string> removeIfPresent(const std::string& path);

// The two moments of the walk where a change made by someone else could redirect it: just before
// a listed folder is opened (it may have become a link), and just before the walk steps up from
// a folder to its parent (the folder may have been moved elsewhere). A test's observer, called
// with the open folder and the entry's or the folder's own name, makes such a change exactly then.
enum class WalkMoment { OpeningFolder, GoingUp };
using WalkObserver = void (*)(WalkMoment moment, int folderFd, const char* name);
// nullptr (the default) observes nothing. Not thread-safe: set it while no removal runs.
void observeWalkForTesting(WalkObserver observer);

} // namespace PathRemoval
