#include "Commands.h"
#include "InventoryReport.h"
#include "JsonText.h"
#include "OutputLine.h"
#include "UserSessionProcess.h"

#include <stdexcept>

// Like the application's inventory mode: no session is started, the scan writes its usual
// entry to the session log. A root run for another account scans in that account's process.
ExitStatus runInventory(const CommandLine& command) {
    UninstallInventory inventory;
    try {
        inventory = stepsForTheAccount(SessionUse::inventory)->scan();
    } catch (const std::runtime_error& error) {
        // The account's process could not tell what it has: no answer is better than "nothing".
        writeOut(std::string("nuvra-uninstall: ") + error.what() + "\n", stderr);
        return ExitStatus::stepFailed;
    }
    writeOut(command.json ? jsonText(InventoryReport::json(inventory)) + "\n"
                          : InventoryReport::text(inventory));
    return InventoryReport::somethingToRemove(inventory) ? ExitStatus::tracesRemain
                                                         : ExitStatus::nothingLeft;
}
