#include "UnifiedLog.h"

#include <syslog.h>

namespace UnifiedLog {

void error(const std::string& subsystem, const std::string& category, const std::string& message) {
    syslog(LOG_USER | LOG_ERR, "[%s:%s] %s", subsystem.c_str(), category.c_str(), message.c_str());
}

} // namespace UnifiedLog
