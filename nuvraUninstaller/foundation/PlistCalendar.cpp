#include "foundation/PlistCalendar.h"

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

std::string format(double seconds, const char* pattern) {
    const Civil c = civilFromSeconds(seconds);
    char text[64];
    std::snprintf(text, sizeof text, pattern, static_cast<long long>(c.year), c.month, c.day,
                  c.hour, c.minute, c.second);
    return text;
}

} // namespace

std::string isoText(double secondsSinceReferenceDate) {
    return format(secondsSinceReferenceDate, "%04lld-%02u-%02uT%02u:%02u:%02uZ");
}

std::string descriptionText(double secondsSinceReferenceDate) {
    return format(secondsSinceReferenceDate, "%04lld-%02u-%02u %02u:%02u:%02u +0000");
}

std::optional<double> parseIsoText(std::string_view text) {
    const std::string copy(text);
    long long year = 0;
    unsigned month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char zone = 0;
    if (std::sscanf(copy.c_str(), "%lld-%u-%uT%u:%u:%u%c", &year, &month, &day, &hour, &minute,
                    &second, &zone) != 7 ||
        zone != 'Z' || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60) {
        return std::nullopt;
    }
    const std::int64_t days = daysFromCivil(year, month, day) - referenceDayFromUnixEpoch;
    return static_cast<double>(days * secondsPerDay + hour * 3600 + minute * 60 + second);
}

} // namespace plist::calendar
