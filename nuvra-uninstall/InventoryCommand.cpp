#include "Commands.h"
#include "InventoryReport.h"
#include "JsonText.h"
#include "OutputLine.h"
#include "UserSessionProcess.h"

// Like the application's inventory mode: no session is started, the scan writes its usual
// entry to the session log. A root run for another account scans in that account's process.
ExitStatus runInventory(const CommandLine& command) {
    const UninstallInventory inventory = stepsForTheAccount(SessionUse::inventory)->scan();
    writeOut(command.json ? jsonText(InventoryReport::json(inventory)) + "\n"
                          : InventoryReport::text(inventory));
    return InventoryReport::somethingToRemove(inventory) ? ExitStatus::tracesRemain
                                                         : ExitStatus::nothingLeft;
}
