#pragma once

#include <optional>
#include <string>

// The short name of the user logged in at the console: the owner of /dev/console, as on every
// Mac (the login window hands the device to whoever logs in and takes it back to root at log-out).
// None when root owns it (nobody is logged in), when a system account holds it (names starting
// with "_", such as the setup assistant's) or when the owner has no entry in the user database.
namespace ConsoleUser {

std::optional<std::string> name();

} // namespace ConsoleUser
