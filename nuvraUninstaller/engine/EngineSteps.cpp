#include "engine/EngineSteps.h"

#include "discovery/InventoryScanner.h"

UninstallInventory EngineSteps::scan() {
    return InventoryScanner::scan();
}
