#include "Commands.h"
#include "HeadlessRun.h"
#include "InventoryReport.h"
#include "JsonText.h"
#include "OutputLine.h"
#include "RunOutput.h"
#include "SessionClaim.h"
#include "UserSessionProcess.h"
#include "foundation/MainThread.h"
#include "foundation/UninstallerLog.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <stdexcept>
#include <string>

namespace {

// The one question, asked on a terminal: yes only for "y" or "yes" in any letter case. Asked on
// standard error with what it is about, so that `run > file` still shows it.
bool confirmed(const UninstallInventory& inventory) {
    writeOut(InventoryReport::text(inventory) + "Remove everything listed above? [y/N] ", stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        writeOut("\n", stderr);
        return false;
    }
    std::transform(answer.begin(), answer.end(), answer.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return answer == "y" || answer == "yes";
}

// The account's process could not be started or could not tell what it has: nothing was removed,
// and a script still gets its result line.
ExitStatus failedBeforeTheSteps(const CommandLine& command, const std::string& message) {
    const HeadlessRun::Outcome failed{true, message, {}};
    if (command.json) {
        writeOut(jsonText(resultJson(failed)) + "\n");
    } else {
        writeOut("nuvra-uninstall: " + message + "\n", stderr);
    }
    return exitStatusOf(failed);
}

// The run's own session-log lines, shown as they are written. The multi-line entry of the scan
// that verification repeats stays in the log: its outcome is the verification's own line.
void showLogLines() {
    UninstallerLog::mirrorTo([](std::string_view line) {
        if (!line.starts_with("Preflight scan:")) {
            writeOut(std::string(line) + "\n");
        }
    });
}

} // namespace

// As the window does: a session around the run, the scan first, then the steps. Without --yes a
// clean Mac is only reported: there is nothing to ask about. With --yes the steps run all the same,
// as the window's "Clean up anyway" does.
ExitStatus runUninstall(const CommandLine& command) {
    // One session per account: never beside the window or another run. This process claims in
    // the folder of the log it writes; a run for another account also has that account's own
    // process claim in the account's folder, which root must not open.
    if (!SessionClaim::take()) {
        return ExitStatus::internalError;
    }
    std::unique_ptr<UninstallSteps> steps;
    try {
        steps = stepsForTheAccount(SessionUse::run, !command.accountOnly);
    } catch (const SessionClaim::Refused& refusal) {
        SessionClaim::report(refusal.what());
        return ExitStatus::internalError;
    } catch (const std::runtime_error& error) {
        return failedBeforeTheSteps(command, error.what());
    }
    // On the main thread, as in the window: the crash handlers' alternate signal stack is that
    // thread's, and the main thread outlives the worker this run is on.
    MainThread::runAndWait(UninstallerLog::installCrashHandlers);
    UninstallerLog::fileSessionStart();
    UninstallInventory inventory;
    try {
        inventory = steps->scan();
    } catch (const std::runtime_error& error) {
        UninstallerLog::file(std::string("Preflight scan failed: ") + error.what());
        UninstallerLog::fileSessionEnd();
        return failedBeforeTheSteps(command, error.what());
    }
    if (!command.yes && !InventoryReport::somethingToRemove(inventory)) {
        writeOut(InventoryReport::text(inventory), command.json ? stderr : stdout);
        UninstallerLog::fileSessionEnd();
        return ExitStatus::nothingLeft;
    }
    if (!command.yes && !confirmed(inventory)) {
        writeOut("Nothing was removed.\n", stderr);
        UninstallerLog::fileSessionEnd();
        return ExitStatus::tracesRemain;
    }
    if (!command.json) {
        showLogLines();
    }
    const HeadlessRun::Outcome outcome = HeadlessRun::run(
        *steps, InventoryReport::needsAdmin(inventory), [&](const HeadlessRun::StepResult& step) {
            if (command.json) {
                writeOut(jsonText(stepJson(step)) + "\n");
            }
        });
    UninstallerLog::mirrorTo({});
    if (command.json) {
        writeOut(jsonText(resultJson(outcome)) + "\n");
    }
    UninstallerLog::fileSessionEnd();
    return exitStatusOf(outcome);
}
