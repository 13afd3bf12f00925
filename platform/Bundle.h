#pragma once

#include <optional>
#include <string>

// NSBundle.mainBundle (CFBundle on macOS). The bundle is the macOS-shaped folder the build lays
// out: <name>.app/Contents/{MacOS/<exe>, Info.plist, Resources/}. It is found relative to the
// running executable, so look-ups behave the same on every platform.
namespace Bundle {

// The bundle folder ("…/nuvraUninstaller.app"), or none when the executable does not sit in
// Contents/MacOS of a folder ending in ".app".
std::optional<std::string> mainBundlePath();

// The file Contents/Resources/<name>[.<type>] when it exists.
std::optional<std::string> resourcePath(const std::string& name, const std::string& type = {});

// A text value of Contents/Info.plist, or none when the file, the key or a text value is missing.
std::optional<std::string> infoString(const std::string& key);

// Tests point the main bundle at a bundle they built; an empty optional restores the default.
void overrideMainBundlePathForTesting(std::optional<std::string> path);

} // namespace Bundle
