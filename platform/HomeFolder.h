#pragma once

#include <string>

// NSHomeDirectory() and NSTemporaryDirectory().
namespace HomeFolder {

// $HOME, else the password database entry of the real user id; never empty and never relative
// (falls back to "/" as a last resort). No trailing slash, except for "/" itself.
std::string homeDirectory();

// The per-user temporary folder, always ending with "/": $TMPDIR when it is absolute, else the
// folder the system assigns to the user, else "/tmp/".
std::string temporaryDirectory();

// The folder the system itself assigns to the user for temporary files, or empty where it
// assigns none (each system's own part of the lookup above).
std::string systemTemporaryFolder();

} // namespace HomeFolder
