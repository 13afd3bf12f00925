#include "discovery/ScanFindings.h"

#include "foundation/UninstallerLog.h"

#include <algorithm>

namespace {

void add(std::vector<InventoryItem>& to, const std::optional<InventoryItem>& item) {
    if (item) {
        to.push_back(*item);
    }
}

void add(std::vector<InventoryItem>& to, const std::vector<InventoryItem>& items) {
    to.insert(to.end(), items.begin(), items.end());
}

// The slot an account's item belongs in, by its id; nullptr for an id no account item has.
std::optional<InventoryItem>* slotFor(AccountFindings& findings, const InventoryItem& item,
                                      const std::string& home) {
    const std::string& id = item.id;
    if (id == "Apps:" + home + "/Applications/nuvra.app") {
        return &findings.nuvraApp;
    }
    if (id == "Apps:" + home + "/Applications/NuvraAgent.app") {
        return &findings.agentApp;
    }
    if (id == "tis") {
        return &findings.sourceRegistration;
    }
    if (id == "hitoolbox") {
        return &findings.keyboardSettings;
    }
    if (id == "data") {
        return &findings.data;
    }
    if (id == "tmp:/tmp/nuvra") {
        return &findings.temporaryFiles;
    }
    if (id == "keychain") {
        return &findings.keychain;
    }
    return nullptr;
}

bool isAccountInputMethod(const std::string& id, const std::string& home) {
    const std::string folder = "ime:" + home + "/Library/Input Methods/";
    return id.starts_with(folder) && id.size() > folder.size() &&
           id.find('/', folder.size()) == std::string::npos;
}

} // namespace

std::vector<InventoryItem> AccountFindings::items() const {
    std::vector<InventoryItem> items;
    add(items, nuvraApp);
    add(items, agentApp);
    add(items, inputMethods);
    add(items, sourceRegistration);
    add(items, keyboardSettings);
    add(items, data);
    add(items, temporaryFiles);
    add(items, keychain);
    return items;
}

std::optional<AccountFindings> AccountFindings::fromItems(const std::vector<InventoryItem>& items,
                                                          const std::string& home) {
    AccountFindings findings;
    for (const InventoryItem& item : items) {
        if (item.requiresAdmin || item.informational) {
            return std::nullopt;
        }
        if (isAccountInputMethod(item.id, home)) {
            findings.inputMethods.push_back(item);
            continue;
        }
        std::optional<InventoryItem>* slot = slotFor(findings, item, home);
        if (slot == nullptr || slot->has_value()) {
            return std::nullopt;
        }
        *slot = item;
    }
    return findings;
}

UninstallInventory assemble(const SystemWideFindings& system, const AccountFindings& account) {
    UninstallInventory inventory;
    std::vector<InventoryItem>& items = inventory.items;
    add(items, system.nuvraApp);
    add(items, account.nuvraApp);
    add(items, system.agentApp);
    add(items, account.agentApp);
    // Listed with the applications: a receipt is the installer's record that they are installed.
    add(items, system.receipts);
    add(items, system.inputMethods);
    add(items, account.inputMethods);
    add(items, account.sourceRegistration);
    add(items, account.keyboardSettings);
    add(items, account.data);
    // One /tmp/nuvra at most: root's, or else the account's own.
    add(items, system.temporaryFiles ? system.temporaryFiles : account.temporaryFiles);
    add(items, account.keychain);

    const bool anythingToRemove = std::any_of(items.begin(), items.end(),
                                              [](const auto& item) { return !item.informational; });
    if (anythingToRemove) {
        items.push_back({"tcc", InventoryItem::Category::permissions,
                         "Microphone and Accessibility records", "Will be reset", false, true});
    }
    UninstallerLog::file("Preflight scan:\n" + inventory.summaryText());
    return inventory;
}
