#pragma once

// Every external program the uninstaller runs, by its absolute macOS path. Nothing is looked up
// on the search path; a tool that is missing simply fails to start, which every caller treats as
// a command that did nothing.
namespace SystemTools {

inline constexpr const char* defaults = "/usr/bin/defaults";
inline constexpr const char* pkill = "/usr/bin/pkill";
inline constexpr const char* killall = "/usr/bin/killall";
inline constexpr const char* launchctl = "/bin/launchctl";
inline constexpr const char* plistBuddy = "/usr/libexec/PlistBuddy";
inline constexpr const char* tccutil = "/usr/bin/tccutil";
inline constexpr const char* security = "/usr/bin/security";
inline constexpr const char* getconf = "/usr/bin/getconf";
inline constexpr const char* bash = "/bin/bash";
inline constexpr const char* osascript = "/usr/bin/osascript";
inline constexpr const char* sudo = "/usr/bin/sudo";
inline constexpr const char* pkgutil = "/usr/sbin/pkgutil";
inline constexpr const char* lsregister = "/System/Library/Frameworks/CoreServices.framework/"
                                          "Frameworks/LaunchServices.framework/Support/lsregister";

} // namespace SystemTools
