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

UninstallEngine::Sentences UninstallEngine::verify() {
    Sentences residues;
    for (const InventoryItem& item : InventoryScanner::scan().items) {
        if (isResidue(item)) {
            residues.push_back(item.title + " (" + item.detail + ")");
        }
    }
    UninstallerLog::file("  Verify: residues — " +
                         (residues.empty() ? std::string("none") : joined(residues, ", ")));
    return residues;
}
