#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// Whose traces the uninstaller handles. Normally the user running it: home and temporary folder
// as the platform reports them, commands run as they are. A root run for another account (the
// administrators' command) switches to that account once, before any work starts; from then on
// every path of the user's footprint starts at that account's home, and every user-level command
// runs in that account's context (UserCommand.h), so nothing of root's own home is used. That
// command leaves all of the account's own work to a process of the account itself; root keeps
// only the system-wide part.
namespace TargetUser {

struct Account {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;               // from the user database, no trailing slash
    std::string temporaryDirectory; // the account's own per-user temporary folder, ending in "/"
};

// The user database's entry for `name` (home and temporary folder still empty), or none for an
// unknown name or an entry without an absolute home.
std::optional<Account> lookUp(const std::string& name);
std::optional<Account> lookUp(uid_t uid); // the same by user id

// Acts for `account` from now on. Called once, before any step, scan or log line.
void actFor(Account account);

// The account acted for, when it is not the running process's own.
const std::optional<Account>& otherAccount();

std::string homeDirectory();      // the platform's home folder unless acting for another account
std::string temporaryDirectory(); // likewise, always ending in "/"
uid_t uid();

} // namespace TargetUser
