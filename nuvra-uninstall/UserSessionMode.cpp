#include "UserSessionMode.h"

#include "ExitStatus.h"
#include "SessionClaim.h"
#include "UserSessionProtocol.h"
#include "discovery/InventoryScanner.h"
#include "engine/StepOutcome.h"
#include "engine/UninstallEngine.h"
#include "engine/UninstallStepID.h"
#include "foundation/Shell.h"
#include "foundation/TargetUser.h"
#include "foundation/UninstallerLog.h"
#include "foundation/WriteAll.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <unistd.h>

namespace UserSessionMode {
namespace {

// Whole lines or nothing: the root process reads them one by one.
void send(const std::string& line) {
    if (!writeAll(STDOUT_FILENO, line)) {
        std::_Exit(code(ExitStatus::internalError)); // the root process has gone
    }
}

// The one reply that ends a request.
std::string answer(UninstallEngine& engine, const std::string& request) {
    if (request == UserSessionProtocol::claimRequest) {
        if (const auto refusal = SessionClaim::claimHere()) {
            return UserSessionProtocol::errorLine(*refusal);
        }
        return UserSessionProtocol::sentencesLine({});
    }
    if (request == UserSessionProtocol::scanRequest) {
        // Only the account's own traces: root looks at the system-wide places itself.
        return UserSessionProtocol::inventoryLine({InventoryScanner::scanAccount().items()});
    }
    const auto step = stepIDFromRawValue(request);
    if (!step) {
        return UserSessionProtocol::errorLine("Unknown request.");
    }
    const auto replyWith = [](UninstallEngine::Sentences sentences) {
        return UserSessionProtocol::sentencesLine(withMissedDeadlines(std::move(sentences)));
    };
    Shell::takeMissedDeadlines(); // the scan's, already in the log
    switch (*step) {
    case UninstallStepID::stopProcesses:
        return replyWith(engine.stopProcesses());
    case UninstallStepID::inputSource:
        return replyWith(engine.removeInputSourceState());
    case UninstallStepID::removeApps:
        return replyWith(engine.removeUserApps());
    case UninstallStepID::removeData:
        return replyWith(engine.removeData());
    case UninstallStepID::resetPermissions:
        return replyWith(engine.resetPermissions());
    case UninstallStepID::refreshSystem:
        return replyWith(engine.refreshSystemUI());
    case UninstallStepID::verify:
        break; // root verifies, asking for a scan
    }
    return UserSessionProtocol::errorLine("Unknown request.");
}

// The account's own home, from the user database: the mode never works on another's.
bool isOwnHome(const std::string& home) {
    const auto account = TargetUser::lookUp(getuid());
    return account && account->home == home;
}

} // namespace

int serve(const std::vector<std::string>& args) {
    if (args.size() != 2 || getuid() == 0 || geteuid() == 0 || !isOwnHome(args[0]) ||
        args[1].empty() || args[1].front() != '/' || args[1].back() != '/') {
        std::cerr << "nuvra-uninstall: " << flag << " is for the command's own use\n";
        return code(ExitStatus::internalError);
    }
    // Set before any work starts: the engine finds the user's folders here, never in
    // whatever HOME the process was started with.
    setenv("HOME", args[0].c_str(), 1);
    setenv("TMPDIR", args[1].c_str(), 1);
    UninstallerLog::divertTo(
        [](std::string_view line) { send(UserSessionProtocol::logLine(line)); });

    // The user's share of the run starts here, and ends with standard input.
    UninstallEngine engine;
    for (std::string request; std::getline(std::cin, request);) {
        std::string reply;
        try {
            reply = answer(engine, request);
        } catch (const std::exception& error) {
            reply = UserSessionProtocol::errorLine(error.what());
        } catch (...) {
            reply = UserSessionProtocol::errorLine("Unknown error");
        }
        send(reply);
    }
    return code(ExitStatus::nothingLeft);
}

} // namespace UserSessionMode
