#pragma once

// The command's part in the one-session claim it shares with the window
// (foundation/InstanceClaim.h), taken in the folder of the session log the run writes.
namespace SessionClaim {

// True when this run now holds the claim; false after one sentence on standard error when the
// window or another run holds it (or its lock file is not a plain file), before anything was
// logged or changed.
bool take();

} // namespace SessionClaim
