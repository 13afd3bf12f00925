#pragma once

#include <functional>

// One running window per user. The first start holds a lock in the session log's folder and
// listens on a socket beside it; a later start finds the lock held, knocks on that socket so the
// running window comes to the front, and ends without touching the session log or its marker.
// (A normal launch on macOS never gets this far: the system brings the running app forward.)
namespace SingleInstance {

// True when this process is now the one instance (or when that cannot be told: a second session
// is better than none). False when another instance runs; it has been asked to come forward.
bool claim();

// Calls `bringToFront` on the GUI thread whenever a later start knocks. Needs the application
// object and a successful claim().
void onActivationRequest(std::function<void()> bringToFront);

} // namespace SingleInstance
