// The unified system log on macOS: os_log at error level, one log object per subsystem and
// category, made once and kept for the life of the process as Apple recommends.
#include "UnifiedLog.h"

#include <map>
#include <mutex>
#include <os/log.h>
#include <utility>

namespace UnifiedLog {
namespace {

os_log_t logFor(const std::string& subsystem, const std::string& category) {
    static std::mutex lock;
    static auto* logs = new std::map<std::pair<std::string, std::string>, os_log_t>;
    std::lock_guard guard(lock);
    auto& log = (*logs)[{subsystem, category}];
    if (log == nullptr)
        log = os_log_create(subsystem.c_str(), category.c_str());
    return log;
}

} // namespace

void error(const std::string& subsystem, const std::string& category, const std::string& message) {
    // Our own diagnostics, never personal data: public, so they are readable in Console.
    os_log_error(logFor(subsystem, category), "%{public}s", message.c_str());
}

} // namespace UnifiedLog
