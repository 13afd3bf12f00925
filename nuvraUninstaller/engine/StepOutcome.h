#pragma once

#include "engine/UninstallStepID.h"
#include "engine/UninstallSteps.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// One step of a run and what it came to, the same for the window and the headless command.
// Only the application removal may stop a run; whatever another step throws is kept as one of
// its problem sentences (for verify: a residue, so a run never claims a clean result it did not
// check).

inline constexpr const char* removeAppsStepTitle = "Remove nuvra apps";
inline constexpr const char* adminNotGrantedMessage = "Administrator access was not granted.";

struct StepOutcome {
    std::vector<std::string> sentences; // problem sentences, or residues for verify
    std::optional<std::string> failure; // set when the step stopped the run
};

// Runs step `id` on `steps`; never throws. A tool the step had to stop at its deadline is one of
// its problem sentences.
StepOutcome performStep(UninstallSteps& steps, UninstallStepID id, bool needsAdmin);

// `sentences` followed by one sentence per tool stopped at its deadline since the last look.
std::vector<std::string> withMissedDeadlines(std::vector<std::string> sentences);

// The session-log lines that open and close a run, whoever runs it.
inline constexpr const char* runStartedLine = "Uninstall started";
std::string runFailedLine(const std::string& message); // the application removal stopped it
std::string runFinishedLine(std::size_t residues);
