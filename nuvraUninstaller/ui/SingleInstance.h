#pragma once

#include <functional>

// The window's side of the one-session claim (foundation/InstanceClaim.h), which the front takes
// before the window is loaded. (A normal launch on macOS never gets that far while the window is
// open: the system brings the running app forward.)
namespace SingleInstance {

// Calls `bringToFront` on the GUI thread whenever a later start knocks on `activationSocket`
// (ignored when -1). Needs the application object.
void onActivationRequest(int activationSocket, std::function<void()> bringToFront);

} // namespace SingleInstance
