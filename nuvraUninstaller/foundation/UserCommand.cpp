#include "foundation/UserCommand.h"

#include "foundation/SystemTools.h"

namespace UserCommand {

std::optional<Shell::Result> runAs(const TargetUser::Account& account, const std::string& tool,
                                   const std::vector<std::string>& args,
                                   const std::optional<std::string>& stdinData) {
    std::vector<std::string> wrapped{
        "asuser", std::to_string(account.uid), SystemTools::sudo, "-u", account.name, tool};
    wrapped.insert(wrapped.end(), args.begin(), args.end());
    return Shell::runIgnoringLaunchFailure(SystemTools::launchctl, wrapped, stdinData);
}

std::optional<Shell::Result> run(const std::string& tool, const std::vector<std::string>& args,
                                 const std::optional<std::string>& stdinData) {
    if (const auto& account = TargetUser::otherAccount()) {
        return runAs(*account, tool, args, stdinData);
    }
    return Shell::runIgnoringLaunchFailure(tool, args, stdinData);
}

} // namespace UserCommand
