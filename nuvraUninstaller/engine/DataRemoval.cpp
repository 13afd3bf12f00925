#include "Utf8.h"
#include "discovery/InventoryScanner.h"
#include "discovery/KeychainDump.h"
#include "engine/PathRemoval.h"
#include "engine/UninstallEngine.h"
#include "foundation/NuvraFootprint.h"
#include "foundation/SystemTools.h"
#include "foundation/TargetUser.h"
#include "foundation/UninstallerLog.h"
#include "foundation/UserCommand.h"
#include "foundation/WhiteSpace.h"

#include <map>

namespace {

// The exit statuses of "security" (an OSStatus's low byte): errSecItemNotFound, and
// errSecInteractionNotAllowed, which a locked Keychain gives when nobody can be asked to unlock
// it (the account is logged out, or no one sits at a graphical session).
constexpr int keychainItemNotFound = 44;
constexpr int keychainInteractionNotAllowed = 36;

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

// The product's accounts with the number of items the Keychain lists for each: the catalogue's
// known accounts are always tried, even when the listing does not show them.
std::map<std::string, std::size_t, std::less<>> keychainItemCounts() {
    std::map<std::string, std::size_t, std::less<>> counts;
    if (const auto dump = InventoryScanner::keychainDump()) {
        counts = KeychainDump::countNuvraAccounts(*dump);
    }
    for (const std::string& account : NuvraFootprint::knownKeychainAccounts()) {
        counts.try_emplace(account, 0);
    }
    return counts;
}

std::string keychainWarning(const std::string& account, int status) {
    std::string warning = "Could not remove the Keychain item " + utf8::visible(account) + ".";
    if (status == keychainInteractionNotAllowed) {
        warning += " The Keychain is locked; it can be removed once its user is logged in.";
    }
    return warning;
}

// The tool deletes one item per run. Each account gets one run per item the listing showed and
// one more, which normally answers "not found": however the tool answers, the loop ends. Any
// other failure is reported for the account; a tool that cannot be started did nothing.
void deleteKeychainItems(std::vector<std::string>& warnings) {
    for (const auto& [account, listed] : keychainItemCounts()) {
        std::size_t deleted = 0;
        for (std::size_t run = 0; run <= listed; ++run) {
            const auto result =
                UserCommand::run(SystemTools::security, {"delete-generic-password", "-a", account});
            if (!result) {
                break;
            }
            if (result->terminationStatus != 0) {
                if (result->terminationStatus != keychainItemNotFound) {
                    warnings.push_back(keychainWarning(account, result->terminationStatus));
                }
                break;
            }
            ++deleted;
        }
        if (deleted > 0) {
            UninstallerLog::file("  Data: removed Keychain item " + utf8::visible(account));
        }
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
    deleteKeychainItems(warnings);
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
