#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reading the text that "lsregister -dump" prints. Pure text work, no tools run here.
namespace LaunchServicesDump {

// Bundle paths of every registered copy of the input method: the "path:" lines that mention
// "nuvraInput.app", with the trailing " (0x…)" identifier cut off. Each path once, in the order
// of its first line.
std::vector<std::string> inputMethodPaths(std::string_view dump);

// True when `path` is `bundlePath` itself or lies inside it. A sibling whose name merely starts
// the same way ("nuvraUninstaller.app-old") is not inside.
bool isInsideBundle(std::string_view path, std::string_view bundlePath);

// The dump's input-method paths that lie outside the application's own bundle (when it has one),
// i.e. the registrations to remove.
std::vector<std::string> strayInputMethodPaths(std::string_view dump,
                                               const std::optional<std::string>& ownBundlePath);

} // namespace LaunchServicesDump
