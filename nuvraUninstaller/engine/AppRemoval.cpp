#include "Bundle.h"
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

// The system-wide bundles and "/tmp/nuvra" need root: our own script does it behind the
// administrator dialog. Any failure here ends the whole step before user-level deletions.
void removeSystemLevelBundles() {
    const std::optional<std::string> script = Bundle::resourcePath("uninstall", "sh");
    if (!script) {
        throw EngineError::failed(
            "The uninstaller is damaged (missing uninstall.sh). Please download it again.");
    }
    if (TargetUser::otherAccount()) {
        // An administrator's run as root: no one to ask and no window to move.
        PrivilegedRunner::runScriptAsRoot(*script);
        UninstallerLog::file("  Apps: system-level bundles removed (admin)");
        return;
    }
    makeRoomForPasswordDialog();
    try {
        PrivilegedRunner::runScriptAsAdmin(*script);
    } catch (...) {
        scheduleRecenter();
        throw;
    }
    UninstallerLog::file("  Apps: system-level bundles removed (admin)");
    scheduleRecenter();
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
    removeSystemApps(needsAdmin);
    return removeUserApps();
}

void UninstallEngine::removeSystemApps(bool needsAdmin) {
    if (needsAdmin) {
        removeSystemLevelBundles();
    } else {
        UninstallerLog::file("  Apps: no system-level bundles found, skipping admin prompt");
    }
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
