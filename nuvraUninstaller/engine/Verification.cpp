#include "engine/Verification.h"

#include "Utf8.h"
#include "discovery/InventoryScanner.h"
#include "engine/UninstallEngine.h"
#include "foundation/UninstallerLog.h"

namespace {

// Items the user cannot act on: the permissions note that accompanies any finding, and input
// sources the system still lists until the next log-in although their bundle is gone.
bool isResidue(const InventoryItem& item) {
    return !item.informational && item.id != "tis";
}

std::string joined(const std::vector<std::string>& texts, const char* separator) {
    std::string result;
    for (const std::string& text : texts) {
        if (!result.empty()) {
            result += separator;
        }
        result += text;
    }
    return result;
}

} // namespace

std::vector<std::string> residueTexts(const UninstallInventory& inventory) {
    std::vector<std::string> residues;
    for (const InventoryItem& item : inventory.items) {
        if (isResidue(item)) {
            // Names read from disk, shown as the inventory shows them: one spelling in the log,
            // the window and the command's output, and no line of the log forged by a name.
            residues.push_back(utf8::visible(item.title) + " (" + utf8::visible(item.detail) + ")");
        }
    }
    return residues;
}

void fileResidues(const std::vector<std::string>& residues) {
    UninstallerLog::file("  Verify: residues — " +
                         (residues.empty() ? std::string("none") : joined(residues, ", ")));
}

UninstallEngine::Sentences UninstallEngine::verify() {
    Sentences residues = residueTexts(InventoryScanner::scan());
    fileResidues(residues);
    return residues;
}
