#include "SessionClaim.h"

#include "OutputLine.h"
#include "foundation/InstanceClaim.h"
#include "foundation/UninstallerLog.h"

namespace SessionClaim {

std::optional<std::string> claimHere() {
    if (!UninstallerLog::prepareLogDirectory()) {
        return "cannot tell whether another uninstaller session is running: " +
               UninstallerLog::logDirectory() +
               " or the folder it is in belongs to someone else or may be written by others";
    }
    InstanceClaim::Result claim =
        InstanceClaim::claim(UninstallerLog::logDirectory(), InstanceClaim::Role::command);
    if (claim.outcome == InstanceClaim::Result::Outcome::claimed) {
        return std::nullopt;
    }
    return std::move(claim.refusal);
}

void report(const std::string& refusal) {
    const bool ended = !refusal.empty() && refusal.back() == '.';
    writeOut("nuvra-uninstall: " + refusal + (ended ? "\n" : ".\n"), stderr);
}

bool take() {
    if (const auto refusal = claimHere()) {
        report(*refusal);
        return false;
    }
    return true;
}

} // namespace SessionClaim
