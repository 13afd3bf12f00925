#pragma once

#include "discovery/UninstallInventory.h"

#include <string>
#include <vector>

// What a run asks of the removal machinery: the preflight scan and the seven step
// operations, in run order. Every call is made from a background pool thread, one at a time.
// Each step returns its problem sentences (empty: all done); verify() returns residue texts.
// Only removeApps() is expected to throw (EngineError).
class UninstallSteps {
public:
    using Sentences = std::vector<std::string>;

    virtual ~UninstallSteps() = default;

    virtual UninstallInventory scan() = 0;
    virtual Sentences stopProcesses() = 0;
    virtual Sentences removeInputSourceState() = 0;
    virtual Sentences removeApps(bool needsAdmin) = 0;
    virtual Sentences removeData() = 0;
    virtual Sentences resetPermissions() = 0;
    virtual Sentences refreshSystemUI() = 0;
    virtual Sentences verify() = 0;
};
