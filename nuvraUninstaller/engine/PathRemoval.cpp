#include "engine/PathRemoval.h"

#include "foundation/UninstallerLog.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace PathRemoval {
namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

void keepFirst(std::error_code& first, std::error_code next) {
    if (!first && next) {
        first = next;
    }
}

struct Entry {
    std::string name;
    unsigned char type; // d_type: DT_UNKNOWN where the file system does not say
};

std::error_code removeEntry(int parentFd, const Entry& entry);

// Names are read in full before anything is deleted: a listing that changes under our feet may
// skip or repeat entries.
std::vector<Entry> entries(DIR* folder) {
    std::vector<Entry> found;
    while (const dirent* entry = readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            found.push_back({std::string(name), entry->d_type});
        }
    }
    return found;
}

// Empties the folder open at `folderFd` (taken over and closed here).
std::error_code removeContents(int folderFd) {
    DIR* folder = fdopendir(folderFd);
    if (folder == nullptr) {
        std::error_code error = lastError();
        close(folderFd);
        return error;
    }
    std::error_code first;
    for (const Entry& entry : entries(folder)) {
        keepFirst(first, removeEntry(dirfd(folder), entry));
    }
    closedir(folder);
    return first;
}

// Empties and removes the folder `name` inside `parentFd`, opened without following a link.
std::error_code removeFolder(int parentFd, const std::string& name, int childFd) {
    std::error_code first = removeContents(childFd);
    if (unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
        keepFirst(first, lastError());
    }
    return first;
}

// Removes `name` inside the folder `parentFd`. O_NOFOLLOW on every descent: a link is unlinked,
// never entered.
std::error_code removeByStat(int parentFd, const std::string& name) {
    struct stat info {};
    if (fstatat(parentFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? std::error_code{} : lastError();
    }
    if (!S_ISDIR(info.st_mode)) {
        if (unlinkat(parentFd, name.c_str(), 0) != 0 && errno != ENOENT) {
            return lastError();
        }
        return {};
    }
    const int childFd =
        openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (childFd < 0) {
        return lastError();
    }
    return removeFolder(parentFd, name, childFd);
}

// The listing's type spares the stat where the file system reports one: anything but a folder is
// unlinked at once (a link as the link itself), a folder opened without following a link. An
// entry that changed since it was listed makes those calls fail (a folder cannot be unlinked, a
// link or file cannot be opened as a folder), and the stat decides instead.
std::error_code removeEntry(int parentFd, const Entry& entry) {
    const char* name = entry.name.c_str();
    if (entry.type == DT_DIR) {
        const int childFd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (childFd >= 0) {
            return removeFolder(parentFd, entry.name, childFd);
        }
        if (errno == ENOENT) {
            return {};
        }
    } else if (entry.type != DT_UNKNOWN) {
        if (unlinkat(parentFd, name, 0) == 0 || errno == ENOENT) {
            return {};
        }
        if (errno != EISDIR && errno != EPERM) {
            return lastError();
        }
    }
    return removeByStat(parentFd, entry.name);
}

} // namespace

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::error_code removeRecursively(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? std::error_code{} : lastError();
    }
    if (!S_ISDIR(info.st_mode)) {
        if (unlink(path.c_str()) != 0 && errno != ENOENT) {
            return lastError();
        }
        return {};
    }
    const int folderFd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0) {
        return lastError();
    }
    std::error_code first = removeContents(folderFd);
    if (rmdir(path.c_str()) != 0 && errno != ENOENT) {
        keepFirst(first, lastError());
    }
    return first;
}

std::optional<std::string> removeIfPresent(const std::string& path) {
    if (!exists(path)) {
        return std::nullopt;
    }
    const std::error_code error = removeRecursively(path);
    if (!error) {
        return std::nullopt;
    }
    UninstallerLog::error("Could not remove %s: %s", path.c_str(), error.message().c_str());
    return "Could not remove " + path + ".";
}

} // namespace PathRemoval
