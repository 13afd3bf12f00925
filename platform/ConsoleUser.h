#pragma once

#include <optional>
#include <string>

// The short name of the user logged in at the console, as the system tells it: on a Mac the
// console user of the system configuration store, on Linux the owner of /dev/console (the login
// window hands the device to whoever logs in and takes it back to root at log-out). None when
// nobody is logged in (no user, root, or the login window itself) or when a system account holds
// the console (names starting with "_", such as the setup assistant's). Whether the name is a
// person's account is for the caller to check.
namespace ConsoleUser {

std::optional<std::string> name();

} // namespace ConsoleUser
