#include "engine/UninstallEngine.h"
#include "foundation/NuvraFootprint.h"
#include "foundation/SystemTools.h"
#include "foundation/UninstallerLog.h"
#include "foundation/UserCommand.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

namespace {

// The identifiers whose bundle sits at one of the product's places right now: the input method's
// and the agent's (a link at the place counts, as it does for the scan); the legacy identifiers
// name bundles of old versions that no place here holds.
std::vector<std::string> installedBundleIDs() {
    const std::pair<std::string_view, const std::string&> carriers[] = {
        {"/nuvraInput.app", NuvraFootprint::inputMethodBundleID()},
        {"/NuvraAgent.app", NuvraFootprint::productBundleIDs()[0]},
    };
    std::vector<std::string> installed;
    for (const std::string& path : NuvraFootprint::canonicalBundlePaths()) {
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
            continue;
        }
        for (const auto& [name, bundleID] : carriers) {
            if (std::string_view(path).ends_with(name) &&
                std::find(installed.begin(), installed.end(), bundleID) == installed.end()) {
                installed.push_back(bundleID);
            }
        }
    }
    return installed;
}

} // namespace

// macOS resets a privacy record only while it can still resolve the bundle identifier, so this
// runs before the input method is unregistered and the bundles are deleted; the permissions step
// later reports what happened here.
UninstallEngine::Sentences UninstallEngine::resetPrivacyRecords() {
    std::vector<std::string> bundleIDs = NuvraFootprint::productBundleIDs();
    const auto& legacy = NuvraFootprint::legacyBundleIDs();
    bundleIDs.insert(bundleIDs.end(), legacy.begin(), legacy.end());
    const std::vector<std::string> installed = installedBundleIDs();

    // Service by service. An identifier that was never installed is unknown to the system and
    // passed over; one that is installed must be reset for every service.
    std::vector<std::string> failed;
    for (const std::string& service : NuvraFootprint::tccServices()) {
        for (const std::string& bundleID : bundleIDs) {
            const auto result =
                UserCommand::run(SystemTools::tccutil, {"reset", service, bundleID});
            const bool reset = result && result->terminationStatus == 0;
            if (!reset &&
                std::find(installed.begin(), installed.end(), bundleID) != installed.end() &&
                std::find(failed.begin(), failed.end(), bundleID) == failed.end()) {
                failed.push_back(bundleID);
            }
        }
    }
    Sentences warnings;
    for (const std::string& bundleID : failed) {
        warnings.push_back("Could not reset the privacy permissions of " + bundleID + ".");
    }
    return warnings;
}

UninstallEngine::Sentences UninstallEngine::resetPermissions() {
    // Reset earlier in this run while the bundles were still known; on its own, reset now.
    Sentences warnings =
        privacyResetWarnings ? std::move(*privacyResetWarnings) : resetPrivacyRecords();
    privacyResetWarnings.reset();
    UninstallerLog::file(std::string("  Permissions: TCC records reset — ") +
                         (warnings.empty() ? "OK" : "WARN"));
    return warnings;
}

UninstallEngine::Sentences UninstallEngine::refreshSystemUI() {
    // The input menu, the switcher and the pasteboard may still hold the product's input source;
    // killed outright, the system starts fresh copies. The menu bar server gets a polite TERM.
    for (const char* process : {"TextInputMenuAgent", "TextInputSwitcher", "pboard"}) {
        UserCommand::run(SystemTools::killall, {"-9", process});
    }
    UserCommand::run(SystemTools::killall, {"SystemUIServer"});
    UninstallerLog::file("  Refresh: input UI services restarted — OK");
    return {};
}
