#include "AccountChoice.h"

#include "ConsoleUser.h"
#include "Utf8.h"
#include "foundation/SystemTools.h"
#include "foundation/TargetUser.h"
#include "foundation/UserCommand.h"
#include "foundation/WhiteSpace.h"

#include <algorithm>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace AccountChoice {
namespace {

constexpr uid_t firstPersonUid = 501; // macOS numbers people's accounts from here
constexpr std::string_view homesFolder = "/Users/";
constexpr std::size_t longestShownName = 64; // bytes of the escaped name shown in a message

// A name from the command line or the user database, safe to echo on one line.
std::string shown(const std::string& name) {
    std::string text = utf8::visible(name);
    if (text.size() > longestShownName) {
        text.resize(utf8::validPrefix(std::string_view(text).substr(0, longestShownName)).length);
        text += "…";
    }
    return "'" + text + "'";
}

// A folder itself (not a link to one) that belongs to `uid`. Only looked at, never opened.
bool isFolderOwnedBy(const std::string& path, uid_t uid) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == uid;
}

// "/Users/NAME": one level under the homes folder, nothing to climb out of it.
bool isHomeUnderUsers(const std::string& home) {
    if (!home.starts_with(homesFolder)) {
        return false;
    }
    const std::string_view rest = std::string_view(home).substr(homesFolder.size());
    return !rest.empty() && rest != "." && rest != ".." && rest.find('/') == std::string::npos;
}

// The per-user temporary folder as the account itself sees it ("/var/folders/…/T/").
std::string temporaryDirectoryOf(const TargetUser::Account& account) {
    const auto result =
        UserCommand::runAs(account, SystemTools::getconf, {"DARWIN_USER_TEMP_DIR"}, {});
    std::string folder = result && result->terminationStatus == 0
                             ? WhiteSpace::trimmed(result->output())
                             : std::string();
    if (folder.empty() || folder.front() != '/' || folder.find('\n') != std::string::npos) {
        throw std::runtime_error("cannot find the temporary folder of user " + shown(account.name));
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

// Why `account` cannot be acted for, or none.
std::optional<std::string> refusal(const TargetUser::Account& account, const std::string& name) {
    if (account.uid == 0) {
        return shown(name) + " is root; pass --user with the name of the user whose traces to " +
               "remove";
    }
    if (account.uid < firstPersonUid) {
        return shown(name) + " is a system account, not a person's; pass --user with the name " +
               "of the user whose traces to remove";
    }
    if (!isHomeUnderUsers(account.home) || !isFolderOwnedBy(account.home, account.uid)) {
        return shown(name) + " has no home folder of its own in /Users";
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> settle(const std::optional<std::string>& requestedUser) {
    if (geteuid() != 0) {
        if (requestedUser) {
            return "--user needs root; run without it to remove your own traces";
        }
        return std::nullopt;
    }
    const std::optional<std::string> name = requestedUser ? requestedUser : ConsoleUser::name();
    if (!name) {
        return "no user is logged in at the console; pass --user NAME to say whose traces to "
               "remove";
    }
    std::optional<TargetUser::Account> account = TargetUser::lookUp(*name);
    if (!account) {
        return "unknown user " + shown(*name);
    }
    if (auto problem = refusal(*account, *name)) {
        return problem;
    }
    account->temporaryDirectory = temporaryDirectoryOf(*account);
    // The user's process works there: it must be the account's own folder, not a link it put in
    // place of one.
    std::string folder = account->temporaryDirectory;
    folder.pop_back();
    if (!isFolderOwnedBy(folder, account->uid)) {
        return "the temporary folder the system names for " + shown(*name) + " (" +
               utf8::visible(account->temporaryDirectory) + ") is not the account's own";
    }
    TargetUser::actFor(std::move(*account));
    return std::nullopt;
}

std::vector<std::string> peopleOnThisMac() {
    std::vector<std::pair<uid_t, std::string>> people;
    setpwent();
    while (const passwd* entry = getpwent()) {
        if (entry->pw_uid >= firstPersonUid && entry->pw_name != nullptr) {
            people.emplace_back(entry->pw_uid, entry->pw_name);
        }
    }
    endpwent();
    std::sort(people.begin(), people.end());
    std::vector<std::string> names;
    for (const auto& [uid, name] : people) {
        // Looked up again by name: the entry that --user NAME would act for.
        const auto account = TargetUser::lookUp(name);
        if (account && account->uid == uid && !refusal(*account, name) &&
            std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }
    return names;
}

} // namespace AccountChoice
