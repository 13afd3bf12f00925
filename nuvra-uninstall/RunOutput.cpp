#include "RunOutput.h"

Json stepJson(const HeadlessRun::StepResult& step) {
    Json line{{"step", std::string(rawValue(step.id))},
              {"state", std::string(HeadlessRun::stateName(step.state))}};
    if (step.id == UninstallStepID::verify) {
        line["warnings"] = Json::array();
        line["residues"] = step.sentences;
    } else {
        line["warnings"] = step.sentences;
    }
    if (step.state == HeadlessRun::StepResult::State::failed) {
        line["message"] = step.failure;
    }
    return line;
}

ExitStatus exitStatusOf(const HeadlessRun::Outcome& outcome) {
    if (outcome.failed) {
        return ExitStatus::stepFailed;
    }
    return outcome.residues.empty() ? ExitStatus::nothingLeft : ExitStatus::tracesRemain;
}

Json resultJson(const HeadlessRun::Outcome& outcome) {
    Json line{{"result", outcome.failed ? "failed" : "finished"}, {"residues", outcome.residues}};
    if (outcome.failed) {
        line["message"] = outcome.failureMessage;
    }
    line["exitStatus"] = code(exitStatusOf(outcome));
    return line;
}
