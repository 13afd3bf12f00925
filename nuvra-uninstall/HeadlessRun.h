#pragma once

#include "engine/UninstallStepID.h"
#include "engine/UninstallSteps.h"

#include <functional>
#include <span>
#include <string>
#include <vector>

// The window's uninstall run without a window: the seven steps, strictly one after
// another in their fixed order, with the same session-log lines the window's service writes
// ("Uninstall started", then the steps' own lines, then the finished or failed line). Only the
// application removal can stop the run; whatever another step throws becomes one of its problem
// sentences (for verification, a residue), as in the window.
namespace HeadlessRun {

struct StepResult {
    enum class State { done, warning, failed };

    UninstallStepID id;
    State state = State::done;
    std::vector<std::string> sentences; // problem sentences; for verify the residues
    std::string failure;                // the message of a failed step
};

struct Outcome {
    bool failed = false;
    std::string failureMessage;
    std::vector<std::string> residues;
};

// `onStep` is told each step's result as soon as it has completed. `which` are the steps to run,
// in their order, the last of them verify: the system-wide part of a run for every account has
// only the application removal and the verification.
Outcome run(UninstallSteps& steps, bool needsAdmin,
            const std::function<void(const StepResult&)>& onStep,
            std::span<const UninstallStepID> which = allStepIDs);

std::string_view stateName(StepResult::State state); // "done", "warning", "failed"

} // namespace HeadlessRun
