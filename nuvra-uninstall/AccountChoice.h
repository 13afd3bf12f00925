#pragma once

#include <optional>
#include <string>
#include <vector>

// Whose traces the command handles, settled before anything is scanned, logged or removed.
// An ordinary user handles their own (and may not name another). Root handles those of the
// --user account, or of the user at the console, once the account has been checked: a person's
// account (a user id from 501 up, as macOS gives people, and a home folder of its own directly
// under /Users), whose temporary folder, as the system names it for the account, is a folder the
// account owns. The engine is then switched to that account (TargetUser::actFor); the work of
// the user's share runs in that account's own process (UserSessionProcess.h).
namespace AccountChoice {

// The one-line message for bad usage (the name escaped and cut short), or none when the choice
// is made. Throws std::runtime_error when the account's temporary folder cannot be asked for (an
// internal error).
std::optional<std::string> settle(const std::optional<std::string>& requestedUser);

// The names of the people's accounts on this Mac, by user id, as settle() would take them (a user
// id from 501 up, a home of its own directly under /Users).
std::vector<std::string> peopleOnThisMac();

} // namespace AccountChoice
