#pragma once

#include <optional>
#include <string>

// The line `--version` prints: the version and build of the bundle the command ships in, read
// from its Info.plist like every other place that names them, so that the command and the
// application never disagree. None when the bundle does not say (a damaged or missing bundle).
std::optional<std::string> versionText();
