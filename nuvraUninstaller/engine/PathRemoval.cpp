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

std::error_code removeEntry(int parentFd, const std::string& name);

// Names are read in full before anything is deleted: a listing that changes under our feet may
// skip or repeat entries.
std::vector<std::string> entryNames(DIR* folder) {
    std::vector<std::string> names;
    while (const dirent* entry = readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    return names;
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
    for (const std::string& name : entryNames(folder)) {
        keepFirst(first, removeEntry(dirfd(folder), name));
    }
    closedir(folder);
    return first;
}

// Removes `name` inside the folder `parentFd`. O_NOFOLLOW on every descent: a link is unlinked,
// never entered.
std::error_code removeEntry(int parentFd, const std::string& name) {
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
    std::error_code first = removeContents(childFd);
    if (unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
        keepFirst(first, lastError());
    }
    return first;
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
