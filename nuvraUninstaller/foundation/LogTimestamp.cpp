#include "LogTimestamp.h"

#include <atomic>
#include <cstdio>

namespace LogTimestamp {
namespace {

std::atomic<long> rememberedUtcOffset{0};
static_assert(std::atomic<long>::is_always_lock_free, "read from a signal handler");

std::tm localParts(std::time_t seconds) {
    std::tm parts{};
    localtime_r(&seconds, &parts);
    rememberedUtcOffset.store(parts.tm_gmtoff, std::memory_order_relaxed);
    return parts;
}

void putDigits(char* out, long value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

struct CivilDate {
    long year;
    long month;
    long day;
};

// Days since 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's civil_from_days).
CivilDate civilFromDays(long days) {
    days += 719468;
    const long era = (days >= 0 ? days : days - 146096) / 146097;
    const long dayOfEra = days - era * 146097;
    const long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long shiftedMonth = (5 * dayOfYear + 2) / 153;
    const long day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const long month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

} // namespace

std::string format(std::chrono::system_clock::time_point when) {
    const std::tm parts = localParts(std::chrono::system_clock::to_time_t(when));
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

void formatFixedOffset(std::time_t secondsSinceEpoch, long utcOffsetSeconds,
                       char (&out)[textLength]) {
    const long local = static_cast<long>(secondsSinceEpoch) + utcOffsetSeconds;
    long days = local / 86400;
    long secondOfDay = local % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        days -= 1;
    }
    const CivilDate date = civilFromDays(days);
    putDigits(out, date.year, 4);
    out[4] = '-';
    putDigits(out + 5, date.month, 2);
    out[7] = '-';
    putDigits(out + 8, date.day, 2);
    out[10] = ' ';
    putDigits(out + 11, secondOfDay / 3600, 2);
    out[13] = ':';
    putDigits(out + 14, secondOfDay / 60 % 60, 2);
    out[16] = ':';
    putDigits(out + 17, secondOfDay % 60, 2);
}

long lastKnownUtcOffset() {
    return rememberedUtcOffset.load(std::memory_order_relaxed);
}

void refreshUtcOffset() {
    tzset();
    localParts(std::time(nullptr));
}

} // namespace LogTimestamp
