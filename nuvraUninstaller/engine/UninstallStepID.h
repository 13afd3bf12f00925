#pragma once

#include <array>
#include <optional>
#include <string_view>

// The seven removal steps, in run order.
enum class UninstallStepID {
    stopProcesses,
    inputSource,
    removeApps,
    removeData,
    resetPermissions,
    refreshSystem,
    verify,
};

inline constexpr std::array<UninstallStepID, 7> allStepIDs{UninstallStepID::stopProcesses,
                                                           UninstallStepID::inputSource,
                                                           UninstallStepID::removeApps,
                                                           UninstallStepID::removeData,
                                                           UninstallStepID::resetPermissions,
                                                           UninstallStepID::refreshSystem,
                                                           UninstallStepID::verify};

// The raw value, which is also the step's id ("refreshSystem", not the operation's name).
std::string_view rawValue(UninstallStepID id);

// Exactly the seven raw values, case-sensitive; none for anything else.
std::optional<UninstallStepID> stepIDFromRawValue(std::string_view raw);
