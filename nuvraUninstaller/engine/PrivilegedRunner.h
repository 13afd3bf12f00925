#pragma once

#include "AppleScript.h"
#include "engine/EngineError.h"

#include <string>

// Runs the uninstaller's own removal script as root through the administrator password dialog.
// Calls are serialised on one background worker, created on first use and kept until exit, so at
// most one privileged script runs at a time. Where the system's script runner is main-thread-only
// (NSAppleScript), the worker hands that one call to the main thread and waits for it.
namespace PrivilegedRunner {

// Blocks the caller until the script has finished or the user has declined. Throws EngineError:
// adminCancelled when the dialog was dismissed, failed with a sentence otherwise.
void runScriptAsAdmin(const std::string& scriptPath);

// For a process that already runs as root (an administrator's run for another account): runs
// the script directly with /bin/bash, no dialog. Throws EngineError::failed when it cannot start
// or reports an error (non-zero exit status), with what it printed.
void runScriptAsRoot(const std::string& scriptPath);

// The pieces of the script source, exposed because getting them wrong runs the wrong command as
// root. The path is quoted for the shell first, then the whole command escaped for AppleScript.
std::string shellQuoted(const std::string& text);
std::string appleScriptEscaped(const std::string& text);
std::string scriptSource(const std::string& scriptPath);

// Turns an AppleScript failure into the engine's error.
EngineError classify(const AppleScript::ErrorInfo& error);

} // namespace PrivilegedRunner
