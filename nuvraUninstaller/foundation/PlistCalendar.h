#pragma once

#include <optional>
#include <string>
#include <string_view>

// Property-list dates as calendar text (UTC), for the dates libplist cannot hand over as numbers
// and for descriptions. Seconds count from 2001-01-01 00:00:00 UTC.
namespace plist::calendar {

// "2001-01-01T00:00:00Z", the XML form; whole seconds (fractions are dropped).
std::string isoText(double secondsSinceReferenceDate);

// "2001-01-01 00:00:00 +0000", the form descriptions use.
std::string descriptionText(double secondsSinceReferenceDate);

// Reads the XML form; none when the text is not one.
std::optional<double> parseIsoText(std::string_view text);

} // namespace plist::calendar
