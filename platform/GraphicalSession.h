#pragma once

// Whether a window can be shown at all, decided before any GUI object exists: without a display
// the window toolkit aborts with advice that does not apply to us.
namespace GraphicalSession {

// True when the arguments or the environment name a window system that is reachable, as far as
// can be told without connecting to it.
bool isAvailable(int argc, char** argv);

} // namespace GraphicalSession
