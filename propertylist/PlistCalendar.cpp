#include "PlistCalendar.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace plist::calendar {
namespace {

// Days between 1970-01-01 and 2001-01-01.
constexpr std::int64_t referenceDayFromUnixEpoch = 11323;
constexpr std::int64_t secondsPerDay = 86400;

// Howard Hinnant's proleptic Gregorian conversions, exact for every year.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month;
    unsigned day;
    unsigned hour;
    unsigned minute;
    unsigned second;
};

// Days are exact in 64 bits far beyond this; the limit keeps the conversion from overflowing.
constexpr double civilLimitSeconds = 1e15;

Civil civilFromSeconds(double secondsSinceReferenceDate) {
    const auto whole = static_cast<std::int64_t>(std::floor(secondsSinceReferenceDate));
    std::int64_t days = whole / secondsPerDay;
    std::int64_t rest = whole % secondsPerDay;
    if (rest < 0) {
        rest += secondsPerDay;
        --days;
    }
    const std::int64_t z = days + referenceDayFromUnixEpoch + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2);
    const auto secondOfDay = static_cast<unsigned>(rest);
    return {year, month, day, secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60};
}

double secondsOfDay(std::int64_t year, unsigned month, unsigned day) {
    return static_cast<double>((daysFromCivil(year, month, day) - referenceDayFromUnixEpoch) *
                               secondsPerDay);
}

// Exactly `digits` decimal digits (or 1 to `digits` when `upTo`), advancing `at`.
std::optional<unsigned> digitsAt(std::string_view text, std::size_t& at, std::size_t digits,
                                 bool upTo = false) {
    unsigned value = 0;
    std::size_t count = 0;
    while (count < digits && at < text.size() && text[at] >= '0' && text[at] <= '9') {
        value = value * 10 + static_cast<unsigned>(text[at] - '0');
        ++at;
        ++count;
    }
    if (count == 0 || (!upTo && count != digits)) {
        return std::nullopt;
    }
    return value;
}

bool separatorAt(std::string_view text, std::size_t& at, char separator) {
    if (at >= text.size() || text[at] != separator) {
        return false;
    }
    ++at;
    return true;
}

} // namespace

bool isWithinWritableYears(double secondsSinceReferenceDate) {
    static const double first = secondsOfDay(1, 1, 1);
    static const double afterLast = secondsOfDay(10000, 1, 1);
    return secondsSinceReferenceDate >= first && secondsSinceReferenceDate < afterLast;
}

std::string descriptionText(double secondsSinceReferenceDate) {
    char text[64];
    if (!(std::fabs(secondsSinceReferenceDate) <= civilLimitSeconds)) {
        std::snprintf(text, sizeof text, "%g seconds from 2001-01-01 00:00:00 +0000",
                      secondsSinceReferenceDate);
        return text;
    }
    const Civil c = civilFromSeconds(secondsSinceReferenceDate);
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02u:%02u:%02u +0000",
                  static_cast<long long>(c.year), c.month, c.day, c.hour, c.minute, c.second);
    return text;
}

std::optional<double> parseIsoText(std::string_view text) {
    std::size_t at = 0;
    const auto year = digitsAt(text, at, 4, true);
    const bool dateOk = year && separatorAt(text, at, '-');
    const auto month = dateOk ? digitsAt(text, at, 2) : std::nullopt;
    const auto day = month && separatorAt(text, at, '-') ? digitsAt(text, at, 2) : std::nullopt;
    const auto hour = day && separatorAt(text, at, 'T') ? digitsAt(text, at, 2) : std::nullopt;
    const auto minute = hour && separatorAt(text, at, ':') ? digitsAt(text, at, 2) : std::nullopt;
    const auto second = minute && separatorAt(text, at, ':') ? digitsAt(text, at, 2) : std::nullopt;
    if (!second || !separatorAt(text, at, 'Z') || at != text.size() || *year < 1 || *month < 1 ||
        *month > 12 || *day < 1 || *day > 31 || *hour > 23 || *minute > 59 || *second > 60) {
        return std::nullopt;
    }
    return secondsOfDay(*year, *month, *day) + *hour * 3600.0 + *minute * 60.0 + *second;
}

} // namespace plist::calendar
