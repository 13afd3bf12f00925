#include "foundation/UserCommand.h"

#include "foundation/ChildProcess.h"
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
                                   const std::vector<std::string>& args, Shell::Options options) {
    const std::vector<std::string> command = commandLineAs(account, tool, args);
    // A deadline missed names the tool, not the launchctl that started it.
    if (options.shownName.empty()) {
        options.shownName = tool.substr(tool.find_last_of('/') + 1);
    }
    options.environment = ChildProcess::accountEnvironment();
    return Shell::runIgnoringLaunchFailure(
        command.front(), std::vector<std::string>(command.begin() + 1, command.end()), options);
}

std::optional<Shell::Result> run(const std::string& tool, const std::vector<std::string>& args,
                                 Shell::Options options) {
    if (const auto& account = TargetUser::otherAccount()) {
        return runAs(*account, tool, args, std::move(options));
    }
    return Shell::runIgnoringLaunchFailure(tool, args, options);
}

std::optional<Shell::Result> run(const std::string& tool, const std::vector<std::string>& args,
                                 const std::optional<std::string>& stdinData) {
    Shell::Options options;
    options.stdinData = stdinData;
    return UserCommand::run(tool, args, std::move(options));
}

} // namespace UserCommand
