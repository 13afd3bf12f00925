#pragma once

#include <string>

// The unified system log at error level: os_log on macOS; syslog(3) at LOG_ERR on Linux.
namespace UnifiedLog {

void error(const std::string& subsystem, const std::string& category, const std::string& message);

} // namespace UnifiedLog
