#pragma once

#include <optional>
#include <string>

// Whose traces the command handles, settled before anything is scanned, logged or removed.
// An ordinary user handles their own (and may not name another). Root handles those of the
// --user account, or of the user at the console, in that account's context: the engine is
// switched to it (TargetUser::actFor) with its home from the user database and its own temporary
// folder, asked of the system in its context.
namespace AccountChoice {

// The one-line message for bad usage, or none when the choice is made. Throws std::runtime_error
// when the account's temporary folder cannot be found (an internal error).
std::optional<std::string> settle(const std::optional<std::string>& requestedUser);

} // namespace AccountChoice
