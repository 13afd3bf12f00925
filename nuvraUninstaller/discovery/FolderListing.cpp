#include "discovery/FolderListing.h"

#include <dirent.h>
#include <memory>

namespace FolderListing {

bool forEachName(const std::string& folder, const std::function<void(std::string_view)>& visit) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) {
        return false;
    }
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            visit(name);
        }
    }
    return true;
}

} // namespace FolderListing
