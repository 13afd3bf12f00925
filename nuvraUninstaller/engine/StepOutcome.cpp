#include "engine/StepOutcome.h"

#include "engine/EngineError.h"
#include "foundation/Shell.h"

#include <exception>

namespace {

// The user-facing text of whatever a step threw; called only inside a catch block.
std::string currentExceptionMessage() {
    try {
        throw;
    } catch (const EngineError& error) {
        return error.kind() == EngineError::Kind::adminCancelled ? adminNotGrantedMessage
                                                                 : error.sentence();
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "Unknown error";
    }
}

StepOutcome performStepItself(UninstallSteps& steps, UninstallStepID id, bool needsAdmin) {
    try {
        switch (id) {
        case UninstallStepID::stopProcesses:
            return {steps.stopProcesses(), {}};
        case UninstallStepID::inputSource:
            return {steps.removeInputSourceState(), {}};
        case UninstallStepID::removeApps:
            return {steps.removeApps(needsAdmin), {}};
        case UninstallStepID::removeData:
            return {steps.removeData(), {}};
        case UninstallStepID::resetPermissions:
            return {steps.resetPermissions(), {}};
        case UninstallStepID::refreshSystem:
            return {steps.refreshSystemUI(), {}};
        case UninstallStepID::verify:
            return {steps.verify(), {}};
        }
        return {};
    } catch (...) {
        std::string message = currentExceptionMessage();
        if (id == UninstallStepID::removeApps) {
            return {{}, std::move(message)};
        }
        return {{std::move(message)}, {}};
    }
}

} // namespace

std::vector<std::string> withMissedDeadlines(std::vector<std::string> sentences) {
    for (std::string& sentence : Shell::takeMissedDeadlines()) {
        sentences.push_back(std::move(sentence));
    }
    return sentences;
}

StepOutcome performStep(UninstallSteps& steps, UninstallStepID id, bool needsAdmin) {
    // Missed before this step (by the scan): in the log already, and not this step's doing.
    Shell::takeMissedDeadlines();
    StepOutcome outcome = performStepItself(steps, id, needsAdmin);
    // Verification names what it could not check among its residues; its tools are in the log.
    std::vector<std::string> missed = withMissedDeadlines({});
    if (!outcome.failure && id != UninstallStepID::verify) {
        outcome.sentences.insert(outcome.sentences.end(), missed.begin(), missed.end());
    }
    return outcome;
}

std::string runFailedLine(const std::string& message) {
    return std::string("Uninstall failed at ") + removeAppsStepTitle + ": " + message;
}

std::string runFinishedLine(std::size_t residues) {
    return "Uninstall finished (residues: " + std::to_string(residues) + ")";
}
