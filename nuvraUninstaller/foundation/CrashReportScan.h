#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

// Crash reports the system wrote for the application (DiagnosticReports folders).
struct CrashReport {
    std::string fileName;
    std::chrono::system_clock::time_point created;
};

// Immediate entries of each folder, in folder order and then listing order, whose name contains
// `nameFragment` (ASCII letters compared without case) and whose birth time is later than
// `cutoff`. A folder that cannot be listed is skipped; an entry without a readable birth time is
// skipped, because its age cannot be told.
std::vector<CrashReport> crashReportsCreatedAfter(const std::vector<std::string>& folders,
                                                  std::string_view nameFragment,
                                                  std::chrono::system_clock::time_point cutoff);
