#include "foundation/LogTimestamp.h"

#include <ctime>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string expectedWithOffset(std::time_t seconds, long offset) {
    const std::time_t shifted = seconds + offset;
    std::tm parts{};
    gmtime_r(&shifted, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

// The crash handler's arithmetic replaces the C library's calendar; it must agree with it across
// leap days, century rules, year ends and negative offsets.
TEST(LogTimestamp, SignalSafeFormatAgreesWithTheCalendar) {
    const std::time_t moments[] = {
        0,
        951'782'399,
        951'782'400, // 2000-02-29, a leap century
        4'107'542'399,
        4'107'542'400, // 2100-02-28/03-01, no leap day
        1'703'980'800 - 1,
        1'703'980'800, // around 2023-12-31 00:00
        1'709'164'800,
        1'735'689'599,
        2'147'483'647,
    };
    const long offsets[] = {0, 3600, -36000, 19800, 50400, -12600};
    for (const std::time_t moment : moments) {
        for (const long offset : offsets) {
            char text[LogTimestamp::textLength];
            LogTimestamp::formatFixedOffset(moment, offset, text);
            EXPECT_EQ(std::string(text, sizeof text), expectedWithOffset(moment, offset))
                << moment << " " << offset;
        }
    }
}

TEST(LogTimestamp, LocalFormatRemembersTheZoneOffsetForTheCrashHandler) {
    const auto now = std::chrono::system_clock::now();
    const std::string local = LogTimestamp::format(now);
    char text[LogTimestamp::textLength];
    LogTimestamp::formatFixedOffset(std::chrono::system_clock::to_time_t(now),
                                    LogTimestamp::lastKnownUtcOffset(), text);
    EXPECT_EQ(std::string(text, sizeof text), local);
    EXPECT_EQ(local.size(), LogTimestamp::textLength);
}

} // namespace
