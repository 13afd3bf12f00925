#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

// What the administrator asked for: `inventory [--json] [--user NAME]`,
// `run [--yes] [--json] [--user NAME | --all-users]` or `--help` / `--version`. Parsing only reads the words; whether --user is allowed (root) and
// names a real account is decided where the account is chosen.
struct CommandLine {
    enum class Action { help, version, inventory, run };

    Action action = Action::help;
    bool json = false;
    bool yes = false;
    std::optional<std::string> user;
    bool allUsers = false;
    // Not shown: a run for every account runs one of these per account, the system-wide part
    // done already.
    bool accountOnly = false;

    static constexpr const char* accountOnlyFlag = "--only-the-account";

    // The arguments after the program name. A string is the one-line message for bad usage.
    static std::variant<CommandLine, std::string> parse(const std::vector<std::string>& args);
};
