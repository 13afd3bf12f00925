#pragma once

#include <string_view>

namespace plist::xml {

// True when `bytes` is an XML property list that libplist 2.2 would read as something else, so
// such files are turned away before it sees them:
// - a NUL character, raw or as a character reference ("&#0;", "&#x00;"): a key is cut short at
//   it without a trace, a text carries it on where no writer can follow;
// - a <date> whose text is not "yyyy-MM-ddTHH:mm:ssZ" in the years 1 through 9999: other years
//   come back as some unrelated date.
// Such text inside a CDATA section or a comment counts too: refusing is the safe side.
bool wouldBeMisread(std::string_view bytes);

} // namespace plist::xml
