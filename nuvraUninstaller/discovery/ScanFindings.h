#pragma once

#include "discovery/UninstallInventory.h"

#include <optional>
#include <string>
#include <vector>

// The scan in its two halves. What lies in root-owned places is the same for every account and
// is judged by whoever runs with the rights to remove it: in a root run, root itself, never on the
// word of the account's process. The rest belongs to one account. assemble() puts both together
// in the inventory's fixed order.

struct SystemWideFindings {
    std::optional<InventoryItem> nuvraApp;       // /Applications/nuvra.app
    std::optional<InventoryItem> agentApp;       // /Applications/NuvraAgent.app
    std::vector<InventoryItem> inputMethods;     // in /Library/Input Methods, in listing order
    std::optional<InventoryItem> temporaryFiles; // /tmp/nuvra, when root owns it
    std::optional<InventoryItem> receipts;       // the installer's receipts of our packages
};

struct AccountFindings {
    std::optional<InventoryItem> nuvraApp; // ~/Applications/nuvra.app
    std::optional<InventoryItem> agentApp;
    std::vector<InventoryItem> inputMethods;         // in ~/Library/Input Methods
    std::optional<InventoryItem> sourceRegistration; // "tis"
    std::optional<InventoryItem> keyboardSettings;   // "hitoolbox"
    std::optional<InventoryItem> data;
    std::optional<InventoryItem> temporaryFiles; // /tmp/nuvra, when the account owns it
    std::optional<InventoryItem> keychain;

    // In inventory order, as the account's process reports them.
    std::vector<InventoryItem> items() const;

    // Read back from such a report for the account whose home is `home`: none unless every item
    // is one an account can have (no system-wide place, no administrator item, no informational
    // one, each kind at most once), whatever its process claims.
    static std::optional<AccountFindings> fromItems(const std::vector<InventoryItem>& items,
                                                    const std::string& home);
};

// The inventory in the scan's fixed order, the permissions note added when anything is there to
// remove. Logs "Preflight scan:\n" + its summary.
UninstallInventory assemble(const SystemWideFindings& system, const AccountFindings& account);
