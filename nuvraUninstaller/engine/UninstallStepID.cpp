#include "engine/UninstallStepID.h"

std::string_view rawValue(UninstallStepID id) {
    switch (id) {
    case UninstallStepID::stopProcesses:
        return "stopProcesses";
    case UninstallStepID::inputSource:
        return "inputSource";
    case UninstallStepID::removeApps:
        return "removeApps";
    case UninstallStepID::removeData:
        return "removeData";
    case UninstallStepID::resetPermissions:
        return "resetPermissions";
    case UninstallStepID::refreshSystem:
        return "refreshSystem";
    case UninstallStepID::verify:
        return "verify";
    }
    return {};
}

std::optional<UninstallStepID> stepIDFromRawValue(std::string_view raw) {
    for (UninstallStepID id : allStepIDs) {
        if (rawValue(id) == raw) {
            return id;
        }
    }
    return std::nullopt;
}
