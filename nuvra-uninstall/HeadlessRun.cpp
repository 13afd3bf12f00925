#include "HeadlessRun.h"

#include "engine/EngineError.h"
#include "foundation/UninstallerLog.h"

#include <exception>

namespace HeadlessRun {
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

std::vector<std::string> perform(UninstallEngine& engine, UninstallStepID id, bool needsAdmin) {
    switch (id) {
    case UninstallStepID::stopProcesses:
        return engine.stopProcesses();
    case UninstallStepID::inputSource:
        return engine.removeInputSourceState();
    case UninstallStepID::removeApps:
        return engine.removeApps(needsAdmin);
    case UninstallStepID::removeData:
        return engine.removeData();
    case UninstallStepID::resetPermissions:
        return engine.resetPermissions();
    case UninstallStepID::refreshSystem:
        return engine.refreshSystemUI();
    case UninstallStepID::verify:
        return engine.verify();
    }
    return {};
}

} // namespace

Outcome run(UninstallEngine& engine, bool needsAdmin,
            const std::function<void(const StepResult&)>& onStep) {
    UninstallerLog::file("Uninstall started");
    for (UninstallStepID id : allStepIDs) {
        StepResult result{id, StepResult::State::done, {}, {}};
        try {
            result.sentences = perform(engine, id, needsAdmin);
        } catch (...) {
            if (id == UninstallStepID::removeApps) {
                result.state = StepResult::State::failed;
                result.failure = currentExceptionMessage();
            } else {
                result.sentences.push_back(currentExceptionMessage());
            }
        }
        if (result.state != StepResult::State::failed && id != UninstallStepID::verify &&
            !result.sentences.empty()) {
            result.state = StepResult::State::warning;
        }
        onStep(result);
        if (result.state == StepResult::State::failed) {
            UninstallerLog::file(std::string("Uninstall failed at ") + removeAppsStepTitle + ": " +
                                 result.failure);
            return {true, result.failure, {}};
        }
        if (id == UninstallStepID::verify) {
            UninstallerLog::file(
                "Uninstall finished (residues: " + std::to_string(result.sentences.size()) + ")");
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
