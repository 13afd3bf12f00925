#include "foundation/UserCommand.h"

#include "foundation/SystemTools.h"

namespace UserCommand {

std::vector<std::string> commandLineAs(const TargetUser::Account& account, const std::string& tool,
                                       const std::vector<std::string>& args) {
    std::vector<std::string> command{SystemTools::launchctl, "asuser", std::to_string(account.uid),
                                     SystemTools::sudo,      "-H",     "-u",
                                     account.name,           tool};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

std::optional<Shell::Result> runAs(const TargetUser::Account& account, const std::string& tool,
                                   const std::vector<std::string>& args,
                                   const std::optional<std::string>& stdinData) {
    const std::vector<std::string> command = commandLineAs(account, tool, args);
    return Shell::runIgnoringLaunchFailure(
        command.front(), std::vector<std::string>(command.begin() + 1, command.end()), stdinData);
}

std::optional<Shell::Result> run(const std::string& tool, const std::vector<std::string>& args,
                                 const std::optional<std::string>& stdinData) {
    if (const auto& account = TargetUser::otherAccount()) {
        return runAs(*account, tool, args, stdinData);
    }
    return Shell::runIgnoringLaunchFailure(tool, args, stdinData);
}

} // namespace UserCommand
