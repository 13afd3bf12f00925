#include "discovery/InventoryScanner.h"

#include "TextInputSources.h"
#include "discovery/FolderListing.h"
#include "discovery/HIToolboxEntries.h"
#include "discovery/KeyboardSettingsItem.h"
#include "discovery/KeychainDump.h"
#include "foundation/HIToolboxStore.h"
#include "foundation/MainThread.h"
#include "foundation/NuvraFootprint.h"
#include "foundation/SystemTools.h"
#include "foundation/TargetUser.h"
#include "foundation/UninstallerLog.h"
#include "foundation/UserCommand.h"

#include <algorithm>
#include <filesystem>
#include <future>
#include <system_error>

namespace InventoryScanner {
namespace {

constexpr std::string_view imeBundlePrefix = "nuvraInput";
constexpr std::string_view bundleSuffix = ".app";
constexpr std::string_view stagedSourcectlFolder = "nuvra-uninstaller-sourcectl";

// The file manager's existence test: follows symbolic links, so a dangling link does not exist.
bool exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

std::string lastPathComponent(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

std::string countText(size_t count, std::string_view singular, std::string_view plural) {
    if (count == 1) {
        return "1 " + std::string(singular);
    }
    return std::to_string(count) + " " + std::string(plural);
}

void append(std::vector<std::string>& to, std::vector<std::string> from) {
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

void addAppIfPresent(UninstallInventory& inventory, const std::string& path,
                     const std::string& title, const std::string& shownFolder, bool requiresAdmin) {
    if (exists(path)) {
        inventory.items.push_back({"Apps:" + path, InventoryItem::Category::apps, title,
                                   shownFolder, requiresAdmin, false});
    }
}

void addInputMethodBundles(UninstallInventory& inventory, const std::string& folder,
                           const std::string& shownFolder, bool requiresAdmin) {
    for (const std::string& path : imeBundles(folder)) {
        inventory.items.push_back({"ime:" + path, InventoryItem::Category::inputMethod,
                                   lastPathComponent(path), shownFolder, requiresAdmin, false});
    }
}

} // namespace

std::vector<std::string> imeBundles(const std::string& folder) {
    std::vector<std::string> paths;
    FolderListing::forEachName(folder, [&](std::string_view name) {
        if (name.starts_with(imeBundlePrefix) && name.ends_with(bundleSuffix)) {
            paths.push_back(folder + "/" + std::string(name));
        }
    });
    return paths;
}

std::vector<std::string> keychainNuvraAccounts() {
    const auto result = UserCommand::run(SystemTools::security, {"dump-keychain"});
    if (!result) {
        return {};
    }
    // The raw bytes, not the decoded text: one non-UTF-8 byte anywhere in the dump would
    // otherwise hide every account in it.
    return KeychainDump::parseNuvraAccounts(result->data);
}

std::vector<std::string> tempRemnants() {
    const std::string temporaryFolder = TargetUser::temporaryDirectory();
    const auto& prefixes = NuvraFootprint::tempDirPrefixes();
    std::vector<std::string> paths;
    FolderListing::forEachName(temporaryFolder, [&](std::string_view name) {
        if (name == stagedSourcectlFolder) {
            return; // our own staged tool, in use by this very run
        }
        for (const std::string& prefix : prefixes) {
            if (name.starts_with(prefix)) {
                paths.push_back(temporaryFolder + std::string(name));
                return;
            }
        }
    });
    return paths;
}

int registeredNuvraSourceCount() {
    size_t count = 0;
    auto countSources = [&count] {
        const auto sources = TextInputSourcesService::shared().TISCreateInputSourceList(
            TISPropertyKey::kTISPropertyBundleID, NuvraFootprint::inputMethodBundleID(), true);
        count = sources ? sources->size() : 0;
    };
    // Only where the platform demands it: the main thread is busy building the window while the
    // first scan runs, and waiting for it would hold the ready screen back.
    if (TextInputSourcesService::requiresMainThread()) {
        MainThread::runAndWait(countSources);
    } else {
        countSources();
    }
    return static_cast<int>(count);
}

std::optional<int> hiToolboxNuvraEntryCount() {
    if (const auto settings = HIToolboxStore::read()) {
        return HIToolboxEntries::countProductEntries(*settings);
    }
    // No file is no settings, so nothing of ours; a file that cannot be read may hold anything.
    return HIToolboxStore::domainFileExists() ? std::nullopt : std::optional<int>(0);
}

std::vector<std::string> existingDataPaths() {
    std::vector<std::string> candidates = NuvraFootprint::legacyLaunchAgentPlists();
    append(candidates, NuvraFootprint::groupContainerDirs());
    append(candidates, NuvraFootprint::preferencePlists());
    append(candidates, NuvraFootprint::logDirs());
    append(candidates, NuvraFootprint::libraryDataDirs());
    append(candidates, tempRemnants());

    std::vector<std::string> existing;
    for (std::string& path : candidates) {
        if (exists(path)) {
            existing.push_back(std::move(path));
        }
    }
    return existing;
}

UninstallInventory scan() {
    using Category = InventoryItem::Category;
    // The look-ups are independent of each other: the two tool calls run while this thread does
    // the file-system tests and the input-source count. The count stays on this thread, since it
    // may have to wait for the main thread, which may itself be waiting for this scan. Items are
    // still appended in their fixed order once everything is in.
    auto accounts = std::async(std::launch::async, keychainNuvraAccounts);
    auto entries = std::async(std::launch::async, hiToolboxNuvraEntryCount);

    const std::string home = TargetUser::homeDirectory();
    UninstallInventory inventory;

    addAppIfPresent(inventory, "/Applications/nuvra.app", "nuvra.app", "/Applications", true);
    addAppIfPresent(inventory, home + "/Applications" + "/" + "nuvra.app", "nuvra.app",
                    "~/Applications", false);
    addAppIfPresent(inventory, "/Applications/NuvraAgent.app", "NuvraAgent.app (old version)",
                    "/Applications", true);
    addAppIfPresent(inventory, home + "/Applications" + "/" + "NuvraAgent.app",
                    "NuvraAgent.app (old version)", "~/Applications", false);

    addInputMethodBundles(inventory, "/Library/Input Methods", "/Library/Input Methods", true);
    addInputMethodBundles(inventory, home + "/Library/Input Methods", "~/Library/Input Methods",
                          false);
    const auto dataPaths = existingDataPaths();
    const bool temporaryFilesExist = exists("/tmp/nuvra");

    if (const int count = registeredNuvraSourceCount(); count > 0) {
        inventory.items.push_back({"tis", Category::inputMethod, "Input source registration",
                                   countText(static_cast<size_t>(count), "source", "sources"),
                                   false, false});
    }
    if (const std::optional<int> count = entries.get(); !count || *count > 0) {
        inventory.items.push_back({"hitoolbox", Category::inputMethod, KeyboardSettingsItem::title,
                                   count
                                       ? countText(static_cast<size_t>(*count), "entry", "entries")
                                       : KeyboardSettingsItem::notCheckedDetail,
                                   false, false});
    }

    if (!dataPaths.empty()) {
        inventory.items.push_back({"data", Category::data, "Settings and app data",
                                   countText(dataPaths.size(), "item", "items"), false, false});
    }
    if (temporaryFilesExist) {
        inventory.items.push_back(
            {"tmp:/tmp/nuvra", Category::data, "Temporary files", "/tmp/nuvra", true, false});
    }
    if (const auto found = accounts.get(); !found.empty()) {
        inventory.items.push_back({"keychain", Category::data, "Sign-in data (Keychain)",
                                   countText(found.size(), "item", "items"), false, false});
    }

    const bool anythingToRemove =
        std::any_of(inventory.items.begin(), inventory.items.end(),
                    [](const InventoryItem& item) { return !item.informational; });
    if (anythingToRemove) {
        inventory.items.push_back({"tcc", Category::permissions,
                                   "Microphone and Accessibility records", "Will be reset", false,
                                   true});
    }

    UninstallerLog::file("Preflight scan:\n" + inventory.summaryText());
    return inventory;
}

} // namespace InventoryScanner
