#include "ConsoleUser.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ConsoleUser {

std::optional<std::string> name() {
    struct stat console {};
    if (stat("/dev/console", &console) != 0 || console.st_uid == 0) {
        return std::nullopt;
    }
    const long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(console.st_uid, &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_name[0] == '_') {
        return std::nullopt;
    }
    return std::string(found->pw_name);
}

} // namespace ConsoleUser
