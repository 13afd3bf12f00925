// The console user as the system configuration store keeps it: the login window holds the console
// while nobody is logged in, and reports itself as "loginwindow".
#include "ConsoleUser.h"

#include "CoreFoundationSupport.h"

#include <SystemConfiguration/SystemConfiguration.h>

namespace ConsoleUser {

std::optional<std::string> name() {
    uid_t uid = 0;
    gid_t gid = 0;
    const CoreFoundationObject<CFStringRef> user(
        SCDynamicStoreCopyConsoleUser(nullptr, &uid, &gid));
    if (!user) {
        return std::nullopt;
    }
    const std::optional<std::string> text = utf8Text(user.get());
    if (!text || text->empty() || uid == 0 || *text == "loginwindow" || text->front() == '_') {
        return std::nullopt;
    }
    return text;
}

} // namespace ConsoleUser
