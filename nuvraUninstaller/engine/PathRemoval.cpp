#include "engine/PathRemoval.h"

#include "Utf8.h"
#include "engine/AccessAdvice.h"
#include "foundation/UninstallerLog.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
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

// Entries are read in full before anything is deleted: a listing that changes under our feet may
// skip or repeat entries. Reads through a duplicate, so `folderFd` stays open for the caller.
std::optional<std::vector<Entry>> listEntries(int folderFd) {
    const int listingFd = fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    DIR* folder = listingFd < 0 ? nullptr : fdopendir(listingFd);
    if (folder == nullptr) {
        if (listingFd >= 0) {
            close(listingFd);
        }
        return std::nullopt;
    }
    // Each listing starts at the beginning, whatever an earlier reader of this folder did.
    rewinddir(folder);
    std::vector<Entry> entries;
    while (const dirent* entry = readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            entries.push_back({std::string(name), entry->d_type});
        }
    }
    closedir(folder);
    return entries;
}

// One folder on the way down: who it is, its name in its parent and the entries still to do.
// Only the folder being worked on has an open descriptor, so any depth fits in a few.
struct Level {
    dev_t device = 0;
    ino_t inode = 0;
    std::string name;
    std::vector<Entry> entries;
    std::size_t next = 0;
};

bool isFolder(int fd, const Level& level) {
    struct stat info {};
    return fstat(fd, &info) == 0 && info.st_dev == level.device && info.st_ino == level.inode;
}

// Opens `name` inside `parentFd` without following a link and lists it; -1 on failure.
int openLevel(int parentFd, const std::string& name, Level& level, std::error_code& error) {
    const int fd = openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
        error = lastError();
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    std::optional<std::vector<Entry>> entries = listEntries(fd);
    if (!entries) {
        error = lastError();
        close(fd);
        return -1;
    }
    level = Level{info.st_dev, info.st_ino, name, std::move(*entries), 0};
    return fd;
}

// Removes `entry` of the folder `folderFd` without entering it: anything but a folder is
// unlinked, a folder is removed at once when empty (most are, so most take one call). True when
// nothing is left to do (removed, already gone, or failed with `first` keeping the error); false
// for a folder with something in it, to be entered. The listing's type spares a stat where the
// file system reports one; an entry replaced since it was listed makes the call fail (a folder
// cannot be unlinked, nothing else can be removed as a folder), and a stat decides instead. Never
// follows a link: a link is unlinked as the link itself.
bool removeWithoutEntering(int folderFd, const Entry& entry, std::error_code& first) {
    const char* name = entry.name.c_str();
    if (entry.type == DT_DIR) {
        if (unlinkat(folderFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT) {
            return true;
        }
        if (errno != ENOTDIR) {
            return false; // not empty, or not ours to remove: what is inside may still be
        }
    } else if (entry.type != DT_UNKNOWN) {
        if (unlinkat(folderFd, name, 0) == 0 || errno == ENOENT) {
            return true;
        }
        if (errno != EISDIR && errno != EPERM) {
            keepFirst(first, lastError());
            return true;
        }
    }
    struct stat info {};
    if (fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        keepFirst(first, errno == ENOENT ? std::error_code{} : lastError());
        return true;
    }
    if (S_ISDIR(info.st_mode)) {
        return unlinkat(folderFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
    }
    if (unlinkat(folderFd, name, 0) != 0 && errno != ENOENT) {
        keepFirst(first, lastError());
    }
    return true;
}

WalkObserver walkObserver = nullptr;

void notify(WalkMoment moment, int folderFd, const std::string& name) {
    if (walkObserver != nullptr) {
        walkObserver(moment, folderFd, name.c_str());
    }
}

// Removes `entry` of `parentFd`, entering it when it is a folder with something in it: returns
// the entered folder's descriptor with `level` filled in, or -1 when done with it.
int removeOrEnter(int parentFd, const Entry& entry, Level& level, std::error_code& first) {
    if (removeWithoutEntering(parentFd, entry, first)) {
        return -1;
    }
    notify(WalkMoment::OpeningFolder, parentFd, entry.name);
    std::error_code error;
    const int fd = openLevel(parentFd, entry.name, level, error);
    if (fd >= 0) {
        return fd;
    }
    if (error == std::errc::too_many_symbolic_link_levels || error == std::errc::not_a_directory) {
        // Replaced by a link or a file since it was looked at: removed as what it is now.
        if (!removeWithoutEntering(parentFd, {entry.name, DT_UNKNOWN}, first)) {
            keepFirst(first, error);
        }
        return -1;
    }
    keepFirst(first, error == std::errc::no_such_file_or_directory ? std::error_code{} : error);
    return -1;
}

// Removes the folder `rootName` inside `topFd` and everything in it, depth first. Going down is
// always relative to the open folder and never follows a link. Going up opens ".." and checks it
// is the folder we came from: a folder moved elsewhere while we work is not followed out of the
// tree, the removal stops instead.
std::error_code removeFolderTree(int topFd, const std::string& rootName) {
    std::error_code first;
    std::vector<Level> levels(1);
    int current = removeOrEnter(topFd, {rootName, DT_DIR}, levels.back(), first);
    if (current < 0) {
        return first;
    }
    while (true) {
        Level& level = levels.back();
        if (level.next < level.entries.size()) {
            const Entry& entry = level.entries[level.next++];
            Level child;
            const int childFd = removeOrEnter(current, entry, child, first);
            if (childFd >= 0) {
                close(current);
                current = childFd;
                levels.push_back(std::move(child));
            }
            continue;
        }
        // Every entry handled: step up and remove the folder from its parent.
        const std::string name = std::move(level.name);
        levels.pop_back();
        if (levels.empty()) {
            close(current);
            if (unlinkat(topFd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
                keepFirst(first, lastError());
            }
            return first;
        }
        notify(WalkMoment::GoingUp, current, name);
        const int parentFd = openat(current, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(current);
        if (parentFd < 0 || !isFolder(parentFd, levels.back())) {
            if (parentFd >= 0) {
                close(parentFd);
            }
            keepFirst(first, std::make_error_code(std::errc::device_or_resource_busy));
            return first;
        }
        current = parentFd;
        if (unlinkat(current, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
            keepFirst(first, lastError());
        }
    }
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
    // The folder is removed relative to its parent, which stays open throughout.
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const std::size_t slash = trimmed.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : trimmed.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        return std::make_error_code(std::errc::invalid_argument);
    }
    const int parentFd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0) {
        return lastError();
    }
    const std::error_code error = removeFolderTree(parentFd, name);
    close(parentFd);
    return error;
}

void observeWalkForTesting(WalkObserver observer) {
    walkObserver = observer;
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
    std::string warning = "Could not remove " + utf8::visible(path) + ".";
    // macOS refuses one app's changes to another app's bundle or data until it is allowed to make
    // them: say what to allow. Other errors have no such remedy.
    if (error == std::errc::operation_not_permitted || error == std::errc::permission_denied) {
        warning += " " + AccessAdvice::forRefusedRemoval();
    }
    return warning;
}

} // namespace PathRemoval
