#include "Utf8.h"
#include "discovery/InventoryScanner.h"
#include "engine/PathRemoval.h"
#include "engine/UninstallEngine.h"
#include "foundation/NuvraFootprint.h"
#include "foundation/SystemTools.h"
#include "foundation/TargetUser.h"
#include "foundation/UninstallerLog.h"
#include "foundation/UserCommand.h"
#include "foundation/WhiteSpace.h"

#include <algorithm>
#include <set>

namespace {

// A Keychain holding the same account this many times is not plausible; a tool that keeps
// reporting success without deleting anything must not hang the uninstall forever.
constexpr int maxKeychainDeletionsPerAccount = 1000;

void removeAll(const std::vector<std::string>& paths, std::vector<std::string>& warnings) {
    for (const std::string& path : paths) {
        if (auto warning = PathRemoval::removeIfPresent(path)) {
            warnings.push_back(std::move(*warning));
        }
    }
}

void deleteDefaultsDomains(const std::vector<std::string>& domains) {
    for (const std::string& domain : domains) {
        UserCommand::run(SystemTools::defaults, {"delete", domain});
    }
}

// True when one matching item was deleted.
bool deleteOneKeychainItem(const std::string& account) {
    const auto result =
        UserCommand::run(SystemTools::security, {"delete-generic-password", "-a", account});
    return result && result->terminationStatus == 0;
}

// The tool deletes one item per run, so repeat until it finds none left.
void deleteKeychainItems() {
    std::set<std::string> accounts;
    for (const std::string& account : InventoryScanner::keychainNuvraAccounts()) {
        accounts.insert(account);
    }
    for (const std::string& account : NuvraFootprint::knownKeychainAccounts()) {
        accounts.insert(account);
    }
    for (const std::string& account : accounts) {
        if (!deleteOneKeychainItem(account)) {
            continue;
        }
        for (int runs = 1; runs < maxKeychainDeletionsPerAccount; ++runs) {
            if (!deleteOneKeychainItem(account)) {
                break;
            }
        }
        UninstallerLog::file("  Data: removed Keychain item " + utf8::visible(account));
    }
}

std::vector<std::string> intlDataCachePaths(const std::string& cacheFolder) {
    std::vector<std::string> paths;
    for (const std::string& name : NuvraFootprint::intlDataCacheNames()) {
        paths.push_back(cacheFolder + "/" + name);
    }
    return paths;
}

} // namespace

std::optional<std::string> UninstallEngine::darwinUserCacheDirectory() {
    const auto result = UserCommand::run(SystemTools::getconf, {"DARWIN_USER_CACHE_DIR"});
    if (!result) {
        return std::nullopt;
    }
    std::string folder = WhiteSpace::trimmed(result->output());
    if (folder.empty()) {
        return std::nullopt;
    }
    if (folder.ends_with('/')) {
        folder.pop_back();
    }
    // Anything but an absolute folder is an error message (a getconf that does not know the
    // variable prints one); joined with a file name it would name a path relative to wherever we
    // run, or a file at the root.
    if (!folder.starts_with('/')) {
        return std::nullopt;
    }
    return folder;
}

UninstallEngine::Sentences UninstallEngine::removeData() {
    Sentences warnings;
    removeAll(NuvraFootprint::legacyLaunchAgentPlists(), warnings);
    removeAll(NuvraFootprint::groupContainerDirs(), warnings);
    deleteDefaultsDomains(NuvraFootprint::appGroupIDs());
    deleteDefaultsDomains(NuvraFootprint::productBundleIDs());
    removeAll(NuvraFootprint::preferencePlists(), warnings);
    removeAll(NuvraFootprint::logDirs(), warnings);
    removeAll(NuvraFootprint::libraryDataDirs(), warnings);
    deleteKeychainItems();
    removeAll(InventoryScanner::tempRemnants(), warnings);
    // A /tmp/nuvra of the account's own is the account's to remove; root's goes with the
    // system-wide bundles, and another account's is no business of this run.
    if (TargetUser::uid() != 0 && InventoryScanner::temporaryFilesOwner() == TargetUser::uid()) {
        removeAll({NuvraFootprint::sharedTemporaryFolder}, warnings);
    }
    if (const auto cacheFolder = darwinUserCacheDirectory()) {
        removeAll(intlDataCachePaths(*cacheFolder), warnings);
    }
    // The preferences daemon caches the domains deleted above; restarting it drops them.
    UserCommand::run(SystemTools::killall, {"cfprefsd"});
    UninstallerLog::file(std::string("  Data: settings and data removed — ") +
                         (warnings.empty() ? "OK" : "WARN"));
    return warnings;
}
