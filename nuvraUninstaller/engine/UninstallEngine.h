#pragma once

#include "engine/EngineError.h"

#include <optional>
#include <string>
#include <vector>

// One operation per removal step. Each returns the problem sentences of what it could not do
// (empty: all done); verify() returns residue texts instead. Only removeApps throws (EngineError).
// Steps are run one at a time from a background thread; nothing here is locked.
class UninstallEngine final {
public:
    using Sentences = std::vector<std::string>;

    Sentences stopProcesses();
    Sentences removeInputSourceState();
    Sentences removeApps(bool needsAdmin); // throws EngineError
    // Its two halves, for a root run that leaves the user's part to a process of that user: the
    // system-wide bundles (throws EngineError; warnings for a /tmp/nuvra left), then the user's
    // own.
    Sentences removeSystemApps(bool needsAdmin);
    Sentences removeUserApps();
    Sentences removeData();
    Sentences resetPermissions();
    Sentences refreshSystemUI();
    Sentences verify();

    const std::optional<std::string>& stagedSourcectlPath() const { return sourcectlPath; }

private:
    void killNuvraProcesses(const std::optional<std::string>& signalFlag);
    bool stageSourcectlIfNeeded();
    std::string runSourcectl(const std::vector<std::string>& args);
    void switchToABCIfCurrentIsNuvra();
    void clearLaunchServicesRegistrations();
    std::optional<std::string> darwinUserCacheDirectory();
    Sentences resetPrivacyRecords();

    // The copy of sourcectl staged in the temporary folder; reused while still executable.
    std::optional<std::string> sourcectlPath;
    // The privacy records are reset at the start of the input-source step, while the bundles are
    // still known to the system; their warnings wait here for the permissions step to report.
    std::optional<Sentences> privacyResetWarnings;
};
