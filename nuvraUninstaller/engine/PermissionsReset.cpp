#include "engine/UninstallEngine.h"
#include "foundation/NuvraFootprint.h"
#include "foundation/SystemTools.h"
#include "foundation/UninstallerLog.h"
#include "foundation/UserCommand.h"

UninstallEngine::Sentences UninstallEngine::resetPermissions() {
    std::vector<std::string> bundleIDs = NuvraFootprint::productBundleIDs();
    const auto& legacy = NuvraFootprint::legacyBundleIDs();
    bundleIDs.insert(bundleIDs.end(), legacy.begin(), legacy.end());

    // Service by service: a record the product never asked for is simply not there to reset.
    for (const std::string& service : NuvraFootprint::tccServices()) {
        for (const std::string& bundleID : bundleIDs) {
            UserCommand::run(SystemTools::tccutil, {"reset", service, bundleID});
        }
    }
    UninstallerLog::file("  Permissions: TCC records reset — OK");
    return {};
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
