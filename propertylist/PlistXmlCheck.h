#pragma once

#include <string_view>

namespace plist::xml {

// True when `bytes` is an XML property list with a <date> whose text is not a date of the years
// 1 through 9999 in the form "yyyy-MM-ddTHH:mm:ssZ". libplist 2.2 reads other years as some
// unrelated date, which a rewrite would then store, so such files are turned away first. A
// "<date>" inside a CDATA section or a comment also counts: refusing is the safe side.
bool hasUnreadableDate(std::string_view bytes);

} // namespace plist::xml
