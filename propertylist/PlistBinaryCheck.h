#pragma once

#include <string_view>

namespace plist::binary {

// True when `bytes` is a binary property list with a text object that holds a NUL character.
// libplist 2.2 aborts the whole process (a failed assertion) when it hands out such a text as a
// dictionary key, so these files are turned away before it sees them. Anything this walk cannot
// make sense of is left to libplist's own checks.
bool hasTextWithNul(std::string_view bytes);

} // namespace plist::binary
