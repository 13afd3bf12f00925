#include "CommandMain.h"

#include "AccountChoice.h"
#include "CommandLine.h"
#include "Commands.h"
#include "ExitStatus.h"
#include "HelpText.h"
#include "OutputLine.h"
#include "UserSessionMode.h"
#include "VersionText.h"
#include "engine/AccessAdvice.h"
#include "foundation/MainThreadQueue.h"

#include <csignal>
#include <exception>
#include <string>
#include <unistd.h>
#include <variant>
#include <vector>

namespace {

int badUsage(const std::string& message) {
    writeOut("nuvra-uninstall: " + message + "\n", stderr);
    return code(ExitStatus::badUsage);
}

int execute(const CommandLine& command) {
    if (command.action == CommandLine::Action::help) {
        writeOut(helpText);
        return code(ExitStatus::nothingLeft);
    }
    if (command.action == CommandLine::Action::version) {
        const auto text = versionText();
        if (!text) {
            writeOut("nuvra-uninstall: no version: its bundle's Info.plist is missing or damaged\n",
                     stderr);
            return code(ExitStatus::stepFailed);
        }
        writeOut(*text);
        return code(ExitStatus::nothingLeft);
    }
    // Decided before anything is scanned, logged or changed.
    if (command.action == CommandLine::Action::run && !command.yes && !isatty(STDIN_FILENO)) {
        return badUsage("no terminal to ask for confirmation on; pass --yes to remove without "
                        "asking");
    }
    if (command.allUsers) {
        if (geteuid() != 0) {
            return badUsage("--all-users needs root");
        }
        return code(runForAllUsers(command));
    }
    if (const auto problem = AccountChoice::settle(command.user)) {
        return badUsage(*problem);
    }
    return code(command.action == CommandLine::Action::run ? runUninstall(command)
                                                           : runInventory(command));
}

} // namespace

int commandMain(int argc, char** argv) {
    // A reader that goes away (a pipe into `head`) must not end a removal half-way.
    std::signal(SIGPIPE, SIG_IGN);
    // Its warnings are read by administrators (its user's process of a root run too).
    AccessAdvice::install(AccessAdvice::Audience::administrator);
    if (argc > 1 && std::string(argv[1]) == UserSessionMode::flag) {
        const std::vector<std::string> arguments(argv + 2, argv + argc);
        return MainThreadQueue::runWorkOnWorker([&] { return UserSessionMode::serve(arguments); });
    }
    const auto parsed = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* message = std::get_if<std::string>(&parsed)) {
        return badUsage(*message + " (see nuvra-uninstall --help)");
    }
    try {
        // The work runs on a worker; calls the system wants on the main thread come back here.
        return outputFailure(MainThreadQueue::runWorkOnWorker(
            [&] { return execute(std::get<CommandLine>(parsed)); }));
    } catch (const std::exception& error) {
        writeOut(std::string("nuvra-uninstall: internal error: ") + error.what() + "\n", stderr);
    } catch (...) {
        writeOut("nuvra-uninstall: internal error\n", stderr);
    }
    return code(ExitStatus::internalError);
}
