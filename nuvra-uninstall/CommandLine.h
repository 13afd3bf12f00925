#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

// What the administrator asked for: `inventory [--json]`, `run [--yes] [--json] [--user NAME]`
// or `--help` / `--version`. Parsing only reads the words; whether --user is allowed (root) and
// names a real account is decided where the account is chosen.
struct CommandLine {
    enum class Action { help, version, inventory, run };

    Action action = Action::help;
    bool json = false;
    bool yes = false;
    std::optional<std::string> user;

    // The arguments after the program name. A string is the one-line message for bad usage.
    static std::variant<CommandLine, std::string> parse(const std::vector<std::string>& args);
};
