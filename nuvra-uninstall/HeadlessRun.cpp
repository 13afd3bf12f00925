#include "HeadlessRun.h"

#include "Utf8.h"
#include "engine/StepOutcome.h"
#include "foundation/TargetUser.h"
#include "foundation/UninstallerLog.h"

namespace HeadlessRun {

Outcome run(UninstallSteps& steps, bool needsAdmin,
            const std::function<void(const StepResult&)>& onStep,
            std::span<const UninstallStepID> which) {
    UninstallerLog::file(runStartedLine);
    if (const auto& account = TargetUser::otherAccount()) {
        // Root keeps runs for several accounts: each says whose it is.
        UninstallerLog::file("For the account " + utf8::visible(account->name) + " (uid " +
                             std::to_string(account->uid) + ")");
    } else if (which.size() != allStepIDs.size()) {
        UninstallerLog::file("For the system-wide part of a run for every account");
    }
    for (UninstallStepID id : which) {
        StepOutcome outcome = performStep(steps, id, needsAdmin);
        StepResult result{id, StepResult::State::done, std::move(outcome.sentences), {}};
        if (outcome.failure) {
            result.state = StepResult::State::failed;
            result.failure = std::move(*outcome.failure);
        }
        if (result.state != StepResult::State::failed && id != UninstallStepID::verify &&
            !result.sentences.empty()) {
            result.state = StepResult::State::warning;
        }
        onStep(result);
        if (result.state == StepResult::State::failed) {
            UninstallerLog::file(runFailedLine(result.failure));
            return {true, result.failure, {}};
        }
        if (id == UninstallStepID::verify) {
            UninstallerLog::file(runFinishedLine(result.sentences.size()));
            return {false, {}, std::move(result.sentences)};
        }
    }
    return {};
}

std::string_view stateName(StepResult::State state) {
    switch (state) {
    case StepResult::State::done:
        return "done";
    case StepResult::State::warning:
        return "warning";
    case StepResult::State::failed:
        return "failed";
    }
    return "done";
}

} // namespace HeadlessRun
