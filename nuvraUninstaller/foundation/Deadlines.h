#pragma once

#include <chrono>
#include <string>

// How long the uninstaller waits for what it does not control. Fixed: a tool that hangs, a
// process that stops answering, ends in a sentence instead of a run that never ends. Nothing
// configures them; test programs shorten them so that a hung tool is met in seconds.
namespace Deadlines {

using Duration = std::chrono::milliseconds;

struct Values {
    Duration tool;      // an ordinary tool call
    Duration longTool;  // a tool that prints a whole database, the removal script
    Duration reply;     // one reply of the account's own process in a root run
    Duration lingering; // a child that was stopped, or has finished its work, to be gone
};

const Values& current();

// For test programs only; call before any work starts.
void shortenForTesting(const Values& values);

// "60 s": how a deadline is told in a sentence.
std::string spoken(Duration duration);

} // namespace Deadlines
