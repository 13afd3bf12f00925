#pragma once

#include <chrono>
#include <cstddef>
#include <ctime>
#include <string>

// The session log's timestamp: "yyyy-MM-dd HH:mm:ss" in the local time zone, 24-hour clock, ASCII
// digits, no zone suffix and no fractions of a second.
namespace LogTimestamp {

constexpr std::size_t textLength = 19;

// Formats `when` in the current local time zone. Also records the zone's offset from UTC at that
// moment, which the crash handler uses (see lastKnownUtcOffset).
std::string format(std::chrono::system_clock::time_point when);

// Async-signal-safe: no allocation, no locale, no time-zone database. Writes exactly `textLength`
// characters (no terminating zero) for `secondsSinceEpoch` shifted by `utcOffsetSeconds`.
void formatFixedOffset(std::time_t secondsSinceEpoch, long utcOffsetSeconds,
                       char (&out)[textLength]);

// The local zone's UTC offset as of the last format() call (or refreshUtcOffset()). localtime_r is
// not safe in a signal handler, so the crash handler formats with this remembered offset instead;
// it is refreshed with every ordinary log line, so it lags a daylight-saving change by at most
// the time since the last line.
long lastKnownUtcOffset();
void refreshUtcOffset();

} // namespace LogTimestamp
