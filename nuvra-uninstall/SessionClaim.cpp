#include "SessionClaim.h"

#include "OutputLine.h"
#include "foundation/InstanceClaim.h"
#include "foundation/UninstallerLog.h"

#include <filesystem>

namespace SessionClaim {

bool take() {
    const InstanceClaim::Result claim = InstanceClaim::claim(
        std::filesystem::path(UninstallerLog::logFile()).parent_path().string(),
        InstanceClaim::Role::command);
    if (claim.outcome == InstanceClaim::Result::Outcome::claimed) {
        return true;
    }
    writeOut("nuvra-uninstall: " + claim.refusal + ".\n", stderr);
    return false;
}

} // namespace SessionClaim
