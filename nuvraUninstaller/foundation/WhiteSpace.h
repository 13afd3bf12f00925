#pragma once

#include <string>
#include <string_view>

// The one white-space set of the code base, for trimming what tools print: space, tab, line
// feed, carriage return, vertical tab and form feed.
namespace WhiteSpace {

inline constexpr std::string_view characters = " \t\n\r\v\f";

// `text` without leading and trailing white space; empty when nothing else is left.
std::string trimmed(std::string_view text);

} // namespace WhiteSpace
