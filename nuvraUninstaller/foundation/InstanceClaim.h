#pragma once

#include <string>

// One uninstall session per account at a time: the window and `nuvra-uninstall run` share one
// claim, a lock file in the session log's folder, so that neither ends the other's session in the
// log ("ended abnormally"), takes its marker, or removes the same files at the same moment. The
// window also listens on a socket beside the lock; a later window start knocks on it so that the
// running window comes to the front. Free of any GUI library: the command uses it too.
namespace InstanceClaim {

enum class Role {
    window, // listens for later starts, and knocks when another session holds the claim
    command // neither listens nor knocks: a script must not bring a window forward
};

struct Result {
    enum class Outcome {
        claimed,        // this process holds the claim until it ends
        broughtForward, // a window holds it and was asked to come to the front
        refused         // another session holds it, or it cannot be told safely
    };
    Outcome outcome = Outcome::claimed;
    // For `refused`: one sentence saying why and what to do; a window refused because a
    // command-line run holds the claim is told that run's process.
    std::string refusal;
    int activationSocket = -1; // for a claiming window: a knock arrives here as a connection
};

// Claims in `folder` (created when missing); the holder writes its role and process id into the
// lock file. A lock file that is a link or not a plain file is refused, never followed. A folder
// where no lock can be created at all (read-only) gives the claim: a session without one is better
// than none.
Result claim(const std::string& folder, Role role);

// Accepts one pending knock on `activationSocket`; true when there was one.
bool acceptKnock(int activationSocket);

} // namespace InstanceClaim
