#include "AlertDialog.h"

#include "CoreFoundationSupport.h"

namespace AlertDialog {

// The user-notification service draws the alert for us, so no application object, window or
// event loop of ours is needed, and the process may even be a plain command-line one.
bool show(const std::string& headline, const std::string& message, int timeoutSeconds) {
    const auto header = makeCFString(headline);
    const auto text = makeCFString(message);
    if (!header || !text)
        return false;
    CFOptionFlags response = 0;
    return CFUserNotificationDisplayAlert(static_cast<CFTimeInterval>(timeoutSeconds),
                                          kCFUserNotificationCautionAlertLevel, nullptr, nullptr,
                                          nullptr, header.get(), text.get(), nullptr, nullptr,
                                          nullptr, &response) == 0;
}

} // namespace AlertDialog
