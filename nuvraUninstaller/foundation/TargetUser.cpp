#include "foundation/TargetUser.h"

#include "HomeFolder.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace TargetUser {
namespace {

// Written once by actFor(), before the work starts any thread that reads it (the command settles
// the account first, on the thread that then starts the scan); only read afterwards.
std::optional<Account>& actingFor() {
    static std::optional<Account> account;
    return account;
}

// A user-database entry with an absolute home, as an account; none otherwise.
template <typename Query> std::optional<Account> lookUpEntry(Query query) {
    const long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (query(entry, buffer, found) != 0 || found == nullptr || found->pw_dir == nullptr ||
        found->pw_dir[0] != '/') {
        return std::nullopt;
    }
    std::string home = found->pw_dir;
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return Account{found->pw_name, found->pw_uid, found->pw_gid, home, {}};
}

} // namespace

std::optional<Account> lookUp(const std::string& name) {
    if (name.empty()) {
        return std::nullopt;
    }
    return lookUpEntry([&](passwd& entry, std::vector<char>& buffer, passwd*& found) {
        return getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found);
    });
}

std::optional<Account> lookUp(uid_t uid) {
    return lookUpEntry([&](passwd& entry, std::vector<char>& buffer, passwd*& found) {
        return getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
    });
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
