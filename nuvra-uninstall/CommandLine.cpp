#include "CommandLine.h"

namespace {

std::string quoted(const std::string& word) {
    return "'" + word + "'";
}

} // namespace

std::variant<CommandLine, std::string> CommandLine::parse(const std::vector<std::string>& args) {
    CommandLine command;
    std::optional<Action> action;
    bool help = false;
    bool version = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else if (arg == "--json") {
            command.json = true;
        } else if (arg == "--yes") {
            command.yes = true;
        } else if (arg == "--all-users") {
            command.allUsers = true;
        } else if (arg == accountOnlyFlag) {
            command.accountOnly = true;
        } else if (arg == "--user" || arg.starts_with("--user=")) {
            std::string name;
            if (arg == "--user") {
                if (i + 1 == args.size()) {
                    return std::string("--user needs a user name");
                }
                name = args[++i];
            } else {
                name = arg.substr(7);
            }
            if (name.empty()) {
                return std::string("--user needs a user name");
            }
            if (command.user && *command.user != name) {
                return std::string("--user given twice");
            }
            command.user = name;
        } else if (arg == "inventory" || arg == "run") {
            if (action) {
                return "more than one subcommand (" + quoted(arg) + " after " +
                       quoted(*action == Action::run ? "run" : "inventory") + ")";
            }
            action = arg == "run" ? Action::run : Action::inventory;
        } else if (arg.starts_with("-")) {
            return "unknown option " + quoted(arg);
        } else {
            return "unknown subcommand " + quoted(arg) + " (inventory or run)";
        }
    }
    if (help) {
        return CommandLine{};
    }
    if (version) {
        CommandLine versionOnly;
        versionOnly.action = Action::version;
        return versionOnly;
    }
    if (!action) {
        return std::string("missing subcommand (inventory or run)");
    }
    command.action = *action;
    if (command.action == Action::inventory && command.yes) {
        return std::string("--yes belongs to run, not to inventory");
    }
    if (command.allUsers && (command.action != Action::run || command.user)) {
        return std::string(command.user ? "--all-users and --user exclude each other"
                                        : "--all-users belongs to run, not to inventory");
    }
    if (command.accountOnly && (command.action != Action::run || !command.user)) {
        return std::string("unknown option '") + accountOnlyFlag + "'";
    }
    return command;
}
