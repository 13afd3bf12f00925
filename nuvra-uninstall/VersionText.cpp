#include "VersionText.h"

#include "Bundle.h"

std::optional<std::string> versionText() {
    const auto version = Bundle::infoString("CFBundleShortVersionString");
    const auto build = Bundle::infoString("CFBundleVersion");
    if (!version || !build) {
        return std::nullopt;
    }
    return "nuvra-uninstall " + *version + " (build " + *build + ")\n";
}
