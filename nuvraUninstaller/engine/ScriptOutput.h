#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reading what the privileged removal printed (osascript's report, or the script's own output in
// a root run). It may be a flood: everything taken from it is bounded and on one line.

// What a tool printed, as one line of a message: its non-blank lines joined by spaces, made
// visible, cut to a few KiB.
std::string messageOf(std::string_view output);

// What osascript printed when the script failed: the message and number of its
// "START:END: execution error: MESSAGE (NUMBER)" report, or the whole output when there is none.
struct ScriptError {
    std::string message;
    std::optional<long> number;
};
ScriptError scriptErrorOf(std::string_view output);

// The script's warnings in what it printed on success: one per line (osascript ends lines with
// carriage returns), a few at most.
std::vector<std::string> warningsIn(std::string_view output);
