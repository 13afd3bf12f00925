// The production wiring, kept apart so that tests which pass their own collaborators link
// neither the engine nor the session log.
#include "engine/EngineSteps.h"
#include "foundation/UninstallerLog.h"
#include "service/UninstallService.h"

namespace {

UninstallService::Collaborators productionCollaborators() {
    return {std::make_shared<EngineSteps>(), std::make_unique<DesktopWorkspace>(),
            [](std::string_view line) { UninstallerLog::file(line); },
            [] { return UninstallerLog::logFile(); }};
}

} // namespace

UninstallService::UninstallService(QObject* parent)
    : UninstallService(productionCollaborators(), parent) {}
