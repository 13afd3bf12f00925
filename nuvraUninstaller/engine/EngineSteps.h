#pragma once

#include "engine/UninstallEngine.h"
#include "engine/UninstallSteps.h"

// The real steps: the one UninstallEngine of the service and the inventory scanner.
class EngineSteps final : public UninstallSteps {
public:
    UninstallInventory scan() override;
    Sentences stopProcesses() override { return engine.stopProcesses(); }
    Sentences removeInputSourceState() override { return engine.removeInputSourceState(); }
    Sentences removeApps(bool needsAdmin) override { return engine.removeApps(needsAdmin); }
    Sentences removeData() override { return engine.removeData(); }
    Sentences resetPermissions() override { return engine.resetPermissions(); }
    Sentences refreshSystemUI() override { return engine.refreshSystemUI(); }
    Sentences verify() override { return engine.verify(); }

private:
    UninstallEngine engine;
};
