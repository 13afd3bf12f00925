#pragma once

#include <optional>
#include <string>
#include <string_view>

// Property-list dates as calendar text (UTC). Seconds count from 2001-01-01 00:00:00 UTC.
namespace plist::calendar {

// True for the years 1 through 9999, the dates the XML form holds.
bool isWithinWritableYears(double secondsSinceReferenceDate);

// "2001-01-01 00:00:00 +0000", the form descriptions use (whole seconds). Dates beyond some 30
// million years, or not finite, are described by their seconds.
std::string descriptionText(double secondsSinceReferenceDate);

// Reads the XML form "yyyy-MM-ddTHH:mm:ssZ" (a year of one to four digits, 1 through 9999);
// none for anything else.
std::optional<double> parseIsoText(std::string_view text);

} // namespace plist::calendar
