#pragma once

#include <string>
#include <vector>

// The internal mode in which the command does the user's share of a root run: started by the root
// process in the user's login session and as the user (UserSessionProcess.h), it answers the
// requests read from standard input on standard output (UserSessionProtocol.h) until standard
// input ends. Everything it does, it does with the user's own rights.
namespace UserSessionMode {

// The word after the program name that selects the mode; never shown in the help.
inline constexpr const char* flag = "--user-session";

// `args` follow the flag: the account's home and its temporary folder, as the root process
// checked them. Returns the exit status: 0 when standard input ended, 70 when the mode cannot
// serve (started as root, or for a home that is not the caller's own).
int serve(const std::vector<std::string>& args);

} // namespace UserSessionMode
