#pragma once

#include "discovery/ScanFindings.h"
#include "discovery/UninstallInventory.h"
#include "foundation/ByteBuffer.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// The read-only preflight scan. Nothing here throws: every failed look-up contributes nothing.
namespace InventoryScanner {

// Both halves below, assembled (ScanFindings.h). Logs "Preflight scan:\n" + summaryText.
UninstallInventory scan();

// The root-owned places: the system-wide bundles, a /tmp/nuvra that root owns and the product's
// installer receipts.
SystemWideFindings scanSystemWide();

// The account acted for (TargetUser): runs on the calling thread, with the two tool calls on
// threads of their own meanwhile; the input-source count hops to the main thread through
// MainThread where the platform requires it. Logs nothing.
AccountFindings scanAccount();

// The owner of "/tmp/nuvra" itself (a link is not followed), or none when nothing is there. Only
// root's is system-wide; the account's own is the account's to remove; anyone else's is no
// business of a run for this account.
std::optional<uid_t> temporaryFilesOwner();

// Product input-method bundles ("nuvraInput*.app") in `folder`, in listing order.
std::vector<std::string> imeBundles(const std::string& folder);

// The raw bytes of "security dump-keychain" (raw: one byte that is not UTF-8 must not hide every
// account in it); none when the tool did not answer in time.
std::optional<ByteBuffer> keychainDump();

// Distinct "ai.nuvra." Keychain accounts from "security dump-keychain", sorted; none when the
// tool did not answer in time (the Keychain could not be checked).
std::optional<std::vector<std::string>> keychainLookup();
// The same, empty when it could not be checked.
std::vector<std::string> keychainNuvraAccounts();

// The product's package ids among the installer receipts the Mac keeps ("pkgutil --pkgs"); none
// when the tool did not answer in time or its listing cannot be taken as whole.
std::optional<std::vector<std::string>> productReceipts();

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
