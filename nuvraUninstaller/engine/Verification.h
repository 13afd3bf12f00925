#pragma once

#include "discovery/UninstallInventory.h"

#include <string>
#include <vector>

// What a fresh scan still finds, as the residue texts of the verification step ("nuvra.app
// (/Applications)"), in scan order. A root run verifies the system-wide places itself and takes
// only the account's share from the account's process.
std::vector<std::string> residueTexts(const UninstallInventory& inventory);

// Logs "  Verify: residues — " and the texts, or "none".
void fileResidues(const std::vector<std::string>& residues);
