#pragma once

#include "PlistValue.h"

#include <optional>

// The keyboard settings (preference domain "com.apple.HIToolbox"), read and replaced whole through
// "/usr/bin/defaults" export / import.
namespace HIToolboxStore {

// The domain's contents, or none when they cannot be obtained.
std::optional<plist::Dictionary> read();

// Replaces the domain with `contents`; false when it cannot be serialised (then nothing runs), the
// tool cannot start, or it exits non-zero.
bool write(const plist::Dictionary& contents);

} // namespace HIToolboxStore
