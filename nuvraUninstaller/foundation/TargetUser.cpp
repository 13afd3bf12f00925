#include "foundation/TargetUser.h"

#include "HomeFolder.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace TargetUser {
namespace {

// Written once by actFor() before any other thread exists; only read afterwards.
std::optional<Account>& actingFor() {
    static std::optional<Account> account;
    return account;
}

} // namespace

std::optional<Account> lookUp(const std::string& name) {
    if (name.empty()) {
        return std::nullopt;
    }
    const long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') {
        return std::nullopt;
    }
    std::string home = found->pw_dir;
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return Account{found->pw_name, found->pw_uid, found->pw_gid, home, {}};
}

void actFor(Account account) {
    actingFor() = std::move(account);
}

const std::optional<Account>& otherAccount() {
    return actingFor();
}

std::string homeDirectory() {
    return actingFor() ? actingFor()->home : HomeFolder::homeDirectory();
}

std::string temporaryDirectory() {
    return actingFor() ? actingFor()->temporaryDirectory : HomeFolder::temporaryDirectory();
}

uid_t uid() {
    return actingFor() ? actingFor()->uid : getuid();
}

} // namespace TargetUser
