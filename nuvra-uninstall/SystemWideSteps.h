#pragma once

#include "engine/UninstallEngine.h"
#include "engine/UninstallSteps.h"

// The system-wide part of a root run for every account, done once before the accounts' own:
// root's own scan of the root-owned places, their removal, and their verification. It has no
// account; the other steps are the accounts'.
class SystemWideSteps final : public UninstallSteps {
public:
    UninstallInventory scan() override;
    Sentences stopProcesses() override { return {}; }
    Sentences removeInputSourceState() override { return {}; }
    Sentences removeApps(bool needsAdmin) override { return engine.removeSystemApps(needsAdmin); }
    Sentences removeData() override { return {}; }
    Sentences resetPermissions() override { return {}; }
    Sentences refreshSystemUI() override { return {}; }
    Sentences verify() override;

private:
    UninstallEngine engine; // only its system-wide removal runs
};
