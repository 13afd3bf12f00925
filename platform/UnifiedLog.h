#pragma once

#include <string>

// Stand-in for the unified system log (os_log at error level): syslog(3) at LOG_ERR.
namespace UnifiedLog {

void error(const std::string& subsystem, const std::string& category, const std::string& message);

} // namespace UnifiedLog
