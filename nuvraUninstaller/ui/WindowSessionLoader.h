#pragma once

// Loads the window module from the application bundle (Contents/Frameworks) and runs its session.
namespace WindowSessionLoader {

// The session's exit status; 1 with a message on standard error when the module cannot be loaded.
int run(int argc, char** argv);

} // namespace WindowSessionLoader
