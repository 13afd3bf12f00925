#pragma once

#include <optional>
#include <stdexcept>
#include <string>

// The command's part in the one-session claim it shares with the window
// (foundation/InstanceClaim.h), taken in the folder of the session log the run writes.
namespace SessionClaim {

// True when this run now holds the claim; false after one sentence on standard error when the
// window or another run holds it (or its lock file is not a plain file), before anything was
// logged or changed.
bool take();

// The claim for the folder of this process's session log: nothing when claimed, else the refusal.
std::optional<std::string> claimHere();

// Another account's process could not claim that account's session.
struct Refused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The one sentence of a refusal, on standard error.
void report(const std::string& refusal);

} // namespace SessionClaim
