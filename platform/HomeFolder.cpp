// Home and temporary folders, the way NSHomeDirectory() and NSTemporaryDirectory() find them:
// $HOME, else the user database; $TMPDIR, else the per-user folder the system assigns.
#include "HomeFolder.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace HomeFolder {
namespace {

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string fromUserDatabase() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir) {
        return found->pw_dir;
    }
    return {};
}

} // namespace

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        return withoutTrailingSlashes(home);
    }
    if (std::string fromDb = fromUserDatabase(); !fromDb.empty() && fromDb[0] == '/') {
        return withoutTrailingSlashes(fromDb);
    }
    return "/";
}

std::string temporaryDirectory() {
    std::string dir = "/tmp/";
    if (const char* tmp = std::getenv("TMPDIR"); tmp && tmp[0] == '/') {
        dir = tmp;
    } else if (std::string assigned = systemTemporaryFolder();
               !assigned.empty() && assigned[0] == '/') {
        dir = assigned;
    }
    if (dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

} // namespace HomeFolder
