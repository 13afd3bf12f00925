#include "discovery/InventoryScanner.h"

#include "TextInputSources.h"
#include "discovery/FolderListing.h"
#include "discovery/HIToolboxEntries.h"
#include "discovery/InstallerReceipts.h"
#include "discovery/KeyboardSettingsItem.h"
#include "discovery/KeychainDump.h"
#include "foundation/HIToolboxStore.h"
#include "foundation/MainThread.h"
#include "foundation/NuvraFootprint.h"
#include "foundation/SystemTools.h"
#include "foundation/TargetUser.h"
#include "foundation/UserCommand.h"

#include <algorithm>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <system_error>

namespace InventoryScanner {
namespace {

constexpr std::string_view imeBundlePrefix = "nuvraInput";
constexpr std::string_view bundleSuffix = ".app";
constexpr std::string_view stagedSourcectlFolder = "nuvra-uninstaller-sourcectl";
constexpr const char* temporaryFilesPath = NuvraFootprint::sharedTemporaryFolder;
// The detail of a kind of trace the scan could not look at: never "nothing there".
constexpr std::string_view notCheckedDetail = "could not be checked";
// Far more than any Mac's list of packages (a few hundred short lines); a longer one is not a list.
constexpr std::size_t receiptListingKept = 1 << 20;

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

std::optional<InventoryItem> appIfPresent(const std::string& path, const std::string& title,
                                          const std::string& shownFolder, bool requiresAdmin) {
    if (!exists(path)) {
        return std::nullopt;
    }
    return InventoryItem{
        "Apps:" + path, InventoryItem::Category::apps, title, shownFolder, requiresAdmin, false};
}

std::vector<InventoryItem> inputMethodBundles(const std::string& folder,
                                              const std::string& shownFolder, bool requiresAdmin) {
    std::vector<InventoryItem> items;
    for (const std::string& path : imeBundles(folder)) {
        items.push_back({"ime:" + path, InventoryItem::Category::inputMethod,
                         lastPathComponent(path), shownFolder, requiresAdmin, false});
    }
    return items;
}

InventoryItem temporaryFilesItem(bool requiresAdmin) {
    return {std::string("tmp:") + temporaryFilesPath,
            InventoryItem::Category::data,
            "Temporary files",
            temporaryFilesPath,
            requiresAdmin,
            false};
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

std::optional<ByteBuffer> keychainDump() {
    Shell::Options whole;
    whole.wait = Shell::Wait::longTool;
    auto result = UserCommand::run(SystemTools::security, {"dump-keychain"}, whole);
    if (!result) {
        return ByteBuffer(); // no tool: nothing in it
    }
    if (result->timedOut) {
        return std::nullopt;
    }
    return std::move(result->data);
}

std::optional<std::vector<std::string>> keychainLookup() {
    const auto dump = keychainDump();
    if (!dump) {
        return std::nullopt;
    }
    // The raw bytes, not the decoded text: one non-UTF-8 byte anywhere in the dump would
    // otherwise hide every account in it.
    return KeychainDump::parseNuvraAccounts(*dump);
}

std::vector<std::string> keychainNuvraAccounts() {
    return keychainLookup().value_or(std::vector<std::string>{});
}

std::optional<std::vector<std::string>> productReceipts() {
    Shell::Options options;
    options.keepAtMost = receiptListingKept;
    const auto result = Shell::runIgnoringLaunchFailure(SystemTools::pkgutil, {"--pkgs"}, options);
    if (!result) {
        return std::vector<std::string>{}; // no tool: no receipts
    }
    // A listing cut short or ended in failure may lack exactly the ids that are ours.
    if (result->timedOut || result->cut || result->terminationStatus != 0) {
        return std::nullopt;
    }
    return InstallerReceipts::productPackageIds(result->data.view());
}

std::optional<uid_t> temporaryFilesOwner() {
    struct stat info {};
    if (lstat(temporaryFilesPath, &info) != 0) {
        return std::nullopt;
    }
    return info.st_uid;
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

SystemWideFindings scanSystemWide() {
    SystemWideFindings found;
    found.nuvraApp = appIfPresent("/Applications/nuvra.app", "nuvra.app", "/Applications", true);
    found.agentApp = appIfPresent("/Applications/NuvraAgent.app", "NuvraAgent.app (old version)",
                                  "/Applications", true);
    found.inputMethods =
        inputMethodBundles("/Library/Input Methods", "/Library/Input Methods", true);
    if (temporaryFilesOwner() == uid_t{0}) {
        found.temporaryFiles = temporaryFilesItem(true);
    }
    // Only root can forget a receipt, as only the installer, running as root, writes one.
    if (const auto packages = productReceipts(); !packages || !packages->empty()) {
        found.receipts = {"receipts",
                          InventoryItem::Category::apps,
                          "Installer receipts",
                          packages ? countText(packages->size(), "package", "packages")
                                   : std::string(notCheckedDetail),
                          true,
                          false};
    }
    return found;
}

AccountFindings scanAccount() {
    using Category = InventoryItem::Category;
    // The look-ups are independent of each other: the two tool calls run while this thread does
    // the file-system tests and the input-source count. The count stays on this thread, since it
    // may have to wait for the main thread, which may itself be waiting for this scan.
    auto accounts = std::async(std::launch::async, keychainLookup);
    auto entries = std::async(std::launch::async, hiToolboxNuvraEntryCount);

    const std::string home = TargetUser::homeDirectory();
    AccountFindings found;
    found.nuvraApp = appIfPresent(home + "/Applications" + "/" + "nuvra.app", "nuvra.app",
                                  "~/Applications", false);
    found.agentApp = appIfPresent(home + "/Applications" + "/" + "NuvraAgent.app",
                                  "NuvraAgent.app (old version)", "~/Applications", false);
    found.inputMethods =
        inputMethodBundles(home + "/Library/Input Methods", "~/Library/Input Methods", false);
    const auto dataPaths = existingDataPaths();
    // Root's own run has no account's /tmp/nuvra: whatever root owns is system-wide.
    const uid_t account = TargetUser::uid();
    if (account != 0 && temporaryFilesOwner() == account) {
        found.temporaryFiles = temporaryFilesItem(false);
    }

    if (const int count = registeredNuvraSourceCount(); count > 0) {
        found.sourceRegistration = {"tis",
                                    Category::inputMethod,
                                    "Input source registration",
                                    countText(static_cast<size_t>(count), "source", "sources"),
                                    false,
                                    false};
    }
    if (const std::optional<int> count = entries.get(); !count || *count > 0) {
        found.keyboardSettings = {"hitoolbox",
                                  Category::inputMethod,
                                  KeyboardSettingsItem::title,
                                  count ? countText(static_cast<size_t>(*count), "entry", "entries")
                                        : std::string(KeyboardSettingsItem::notCheckedDetail),
                                  false,
                                  false};
    }
    if (!dataPaths.empty()) {
        found.data = {"data",
                      Category::data,
                      "Settings and app data",
                      countText(dataPaths.size(), "item", "items"),
                      false,
                      false};
    }
    const auto keychain = accounts.get();
    if (!keychain || !keychain->empty()) {
        found.keychain = {"keychain",
                          Category::data,
                          "Sign-in data (Keychain)",
                          keychain ? countText(keychain->size(), "item", "items")
                                   : std::string(notCheckedDetail),
                          false,
                          false};
    }
    return found;
}

UninstallInventory scan() {
    // The halves look at different things: the receipts' tool call runs beside the account's.
    auto system = std::async(std::launch::async, scanSystemWide);
    AccountFindings account = scanAccount();
    return assemble(system.get(), account);
}

} // namespace InventoryScanner
