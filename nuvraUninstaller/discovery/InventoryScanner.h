#pragma once

#include "discovery/UninstallInventory.h"

#include <optional>
#include <string>
#include <vector>

// The read-only preflight scan. Nothing here throws: every failed look-up contributes nothing.
namespace InventoryScanner {

// Runs on the calling thread, with the two tool calls on threads of their own meanwhile; the
// input-source count hops to the main thread through MainThread where the platform requires it.
// Logs "Preflight scan:\n" + summaryText.
UninstallInventory scan();

// Product input-method bundles ("nuvraInput*.app") in `folder`, in listing order.
std::vector<std::string> imeBundles(const std::string& folder);

// Distinct "ai.nuvra." Keychain accounts from "security dump-keychain", sorted.
std::vector<std::string> keychainNuvraAccounts();

// Product leftovers in the per-user temporary folder, in listing order.
std::vector<std::string> tempRemnants();

// Input sources registered under the product's input-method bundle identifier.
int registeredNuvraSourceCount();

// Product entries in the keyboard settings, summed over the four keys; none when the settings
// file is there but cannot be read.
std::optional<int> hiToolboxNuvraEntryCount();

// Catalogue paths (and temporary remnants) that exist.
std::vector<std::string> existingDataPaths();

} // namespace InventoryScanner
