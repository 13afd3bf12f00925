#include "AccountChoice.h"

#include "ConsoleUser.h"
#include "foundation/SystemTools.h"
#include "foundation/TargetUser.h"
#include "foundation/UserCommand.h"
#include "foundation/WhiteSpace.h"

#include <stdexcept>
#include <unistd.h>

namespace AccountChoice {
namespace {

// The per-user temporary folder as the account itself sees it ("/var/folders/…/T/").
std::string temporaryDirectoryOf(const TargetUser::Account& account) {
    const auto result = UserCommand::runAs(account, SystemTools::getconf, {"DARWIN_USER_TEMP_DIR"});
    std::string folder = result && result->terminationStatus == 0
                             ? WhiteSpace::trimmed(result->output())
                             : std::string();
    if (folder.empty() || folder.front() != '/' || folder.find('\n') != std::string::npos) {
        throw std::runtime_error("cannot find the temporary folder of user '" + account.name + "'");
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
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
        return "unknown user '" + *name + "'";
    }
    if (account->uid == 0) {
        return "'" + *name + "' is root; pass --user with the name of the user whose traces to " +
               "remove";
    }
    account->temporaryDirectory = temporaryDirectoryOf(*account);
    TargetUser::actFor(std::move(*account));
    return std::nullopt;
}

} // namespace AccountChoice
