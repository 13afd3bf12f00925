#pragma once

#include "foundation/Shell.h"
#include "foundation/TargetUser.h"

#include <optional>
#include <string>
#include <vector>

// Runs a user-level tool (preferences, Keychain, launch agents, privacy records, the user's
// processes) for the account the uninstaller acts for. For one's own account the tool runs as it
// is; a root run for another account starts it in that account's login session and as that
// account: "/bin/launchctl asuser UID /usr/bin/sudo -H -u NAME TOOL ARGS...", so it reaches that
// user's domains and can touch nobody else's (-H: with the account's own HOME, never the caller's).
// "Could not start" counts as "did nothing".
namespace UserCommand {

// The argument vector that starts `tool` that way for `account`, from launchctl's path on.
std::vector<std::string> commandLineAs(const TargetUser::Account& account, const std::string& tool,
                                       const std::vector<std::string>& args);

std::optional<Shell::Result> run(const std::string& tool, const std::vector<std::string>& args,
                                 Shell::Options options);
std::optional<Shell::Result> run(const std::string& tool, const std::vector<std::string>& args,
                                 const std::optional<std::string>& stdinData = std::nullopt);

// The same for an explicit account (used before acting for it).
std::optional<Shell::Result> runAs(const TargetUser::Account& account, const std::string& tool,
                                   const std::vector<std::string>& args, Shell::Options options);

} // namespace UserCommand
