#include "SystemWideSteps.h"

#include "discovery/InventoryScanner.h"
#include "engine/Verification.h"

UninstallInventory SystemWideSteps::scan() {
    return assemble(InventoryScanner::scanSystemWide(), {});
}

UninstallSteps::Sentences SystemWideSteps::verify() {
    Sentences residues = residueTexts(scan());
    fileResidues(residues);
    return residues;
}
