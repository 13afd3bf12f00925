#include "discovery/InventoryScanner.h"
#include "engine/PathRemoval.h"
#include "engine/PrivilegedRunner.h"
#include "engine/UninstallEngine.h"
#include "engine/WindowHook.h"
#include "foundation/MainThread.h"
#include "foundation/TargetUser.h"
#include "foundation/UninstallerLog.h"

namespace {

void makeRoomForPasswordDialog() {
    MainThread::runAndWait([] {
        if (WindowHook::Hook* hook = WindowHook::installed()) {
            hook->makeRoomForSystemDialog();
        }
    });
}

// Not awaited: the step goes on while the window slides back.
void scheduleRecenter() {
    MainThread::post([] {
        if (WindowHook::Hook* hook = WindowHook::installed()) {
            hook->recenterWindow();
        }
    });
}

// The system-wide bundles and a /tmp/nuvra that root owns need root: our own script does it, behind
// the administrator dialog. Any failure here ends the whole step before user-level deletions; what
// the script could not remove of /tmp/nuvra is a warning.
std::vector<std::string> removeSystemLevelBundles() {
    if (TargetUser::otherAccount()) {
        // An administrator's run as root: no one to ask and no window to move.
        auto warnings = PrivilegedRunner::runScriptAsRoot();
        UninstallerLog::file("  Apps: system-level bundles removed (admin)");
        return warnings;
    }
    makeRoomForPasswordDialog();
    std::vector<std::string> warnings;
    try {
        warnings = PrivilegedRunner::runScriptAsAdmin();
    } catch (...) {
        scheduleRecenter();
        throw;
    }
    UninstallerLog::file("  Apps: system-level bundles removed (admin)");
    scheduleRecenter();
    return warnings;
}

std::vector<std::string> userLevelBundles() {
    const std::string home = TargetUser::homeDirectory();
    std::vector<std::string> paths = InventoryScanner::imeBundles(home + "/Library/Input Methods");
    paths.push_back(home + "/Applications" + "/" + "nuvra.app");
    paths.push_back(home + "/Applications" + "/" + "NuvraAgent.app");
    return paths;
}

} // namespace

UninstallEngine::Sentences UninstallEngine::removeApps(bool needsAdmin) {
    Sentences warnings = removeSystemApps(needsAdmin);
    for (std::string& warning : removeUserApps()) {
        warnings.push_back(std::move(warning));
    }
    return warnings;
}

UninstallEngine::Sentences UninstallEngine::removeSystemApps(bool needsAdmin) {
    if (needsAdmin) {
        return removeSystemLevelBundles();
    }
    UninstallerLog::file("  Apps: no system-level bundles found, skipping admin prompt");
    return {};
}

UninstallEngine::Sentences UninstallEngine::removeUserApps() {
    Sentences warnings;
    for (const std::string& path : userLevelBundles()) {
        if (auto warning = PathRemoval::removeIfPresent(path)) {
            warnings.push_back(std::move(*warning));
        }
    }
    UninstallerLog::file("  Apps: user-level bundles removed — OK");
    return warnings;
}
