#include "engine/UninstallEngine.h"
#include "foundation/NuvraFootprint.h"
#include "foundation/SystemTools.h"
#include "foundation/UninstallerLog.h"
#include "foundation/UserCommand.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

namespace {

struct InstalledBundle {
    std::string path;
    const std::string& bundleID;
};

// The product's bundles at their places right now whose identifiers the reset names: the input
// method's and the agent's (a link at the place counts, as it does for the scan); the legacy
// identifiers name bundles of old versions that no place here holds.
std::vector<InstalledBundle> installedBundles() {
    const std::pair<std::string_view, const std::string&> carriers[] = {
        {"/nuvraInput.app", NuvraFootprint::inputMethodBundleID()},
        {"/NuvraAgent.app", NuvraFootprint::productBundleIDs()[0]},
    };
    std::vector<InstalledBundle> installed;
    for (const std::string& path : NuvraFootprint::canonicalBundlePaths()) {
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
            continue;
        }
        for (const auto& [name, bundleID] : carriers) {
            if (std::string_view(path).ends_with(name)) {
                installed.push_back({path, bundleID});
            }
        }
    }
    return installed;
}

bool isInstalled(const std::vector<InstalledBundle>& installed, const std::string& bundleID) {
    return std::any_of(installed.begin(), installed.end(),
                       [&](const InstalledBundle& bundle) { return bundle.bundleID == bundleID; });
}

// macOS finds a bundle identifier only through the user's LaunchServices database, and a bundle
// on disk need not be in it (copied in by a script, never opened): registered, its records can be
// reset. Only real folders are registered: a link would register whatever it points at. The
// input-source step unregisters them again with the rest of the product's registrations.
void registerForReset(const std::vector<InstalledBundle>& installed) {
    for (const InstalledBundle& bundle : installed) {
        std::error_code error;
        if (std::filesystem::is_directory(std::filesystem::symlink_status(bundle.path, error))) {
            UserCommand::run(SystemTools::lsregister, {"-f", bundle.path});
        }
    }
}

} // namespace

// macOS resets a privacy record only while it can still resolve the bundle identifier, so this
// runs before the input method is unregistered and the bundles are deleted; the permissions step
// later reports what happened here.
UninstallEngine::Sentences UninstallEngine::resetPrivacyRecords() {
    std::vector<std::string> bundleIDs = NuvraFootprint::productBundleIDs();
    const auto& legacy = NuvraFootprint::legacyBundleIDs();
    bundleIDs.insert(bundleIDs.end(), legacy.begin(), legacy.end());
    const std::vector<InstalledBundle> installed = installedBundles();
    registerForReset(installed);

    // Service by service. An identifier that was never installed is unknown to the system and
    // passed over; one that is installed must be reset for every service.
    std::vector<std::string> failed;
    for (const std::string& service : NuvraFootprint::tccServices()) {
        for (const std::string& bundleID : bundleIDs) {
            const auto result =
                UserCommand::run(SystemTools::tccutil, {"reset", service, bundleID});
            const bool reset = result && result->terminationStatus == 0;
            if (!reset && isInstalled(installed, bundleID) &&
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
